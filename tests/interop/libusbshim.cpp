// Preloaded into a program that drives a TI-89 Titanium's own USB port through libusb-1.0:
// the bus holds one device, 0451:E004, whose bulk endpoints are the virtual Titanium's USB
// socket named by TESSALY92_USB_SOCKET (one message per bulk transfer). Without the variable
// the bus is empty.
//
// Every libusb call such a program makes is answered here, none reaches the real libusb. A
// bulk read takes at most what was asked from the transfer at hand, as a USB read of a
// longer transfer does, and a transfer whose length is a whole number of 64-byte packets is
// followed by a zero-length one; zero-length writes end nothing on the socket and are
// dropped. The usbfs check the library makes is answered "mounted".
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <libusb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr unsigned kPacketSize = 64;
constexpr const char* kProduct = "TI-89 Titanium";
constexpr const char* kMaker = "Texas Instruments Inc.";

// The one device: its address stands for it.
char g_device;
libusb_device* device() { return reinterpret_cast<libusb_device*>(&g_device); }

struct Handle {
    int fd = -1;
    std::vector<unsigned char> message;  // the transfer being read
    std::size_t at = 0;
    bool zlpdue = false;  // the transfer read filled whole packets: a zero-length one follows
};
Handle* handle(libusb_device_handle* h) { return reinterpret_cast<Handle*>(h); }

// Submitted reads wait here for the next round of events.
std::vector<libusb_transfer*> g_pending;

template <typename F>
F* real(const char* name) {
    return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}

// One bulk read: what is left of the transfer at hand, or the next one within timeout ms
// (0: no wait). LIBUSB_ERROR_TIMEOUT when none came.
int readin(Handle& h, unsigned char* data, int length, int* transferred, int timeoutms) {
    *transferred = 0;
    if (h.at == h.message.size()) {
        if (h.zlpdue || length == 0) {
            h.zlpdue = false;
            return 0;
        }
        pollfd p{h.fd, POLLIN, 0};
        const int ready = poll(&p, 1, timeoutms);
        if (ready < 0) return errno == EINTR ? LIBUSB_ERROR_INTERRUPTED : LIBUSB_ERROR_IO;
        if (ready == 0) return LIBUSB_ERROR_TIMEOUT;
        h.message.resize(1 << 16);
        const ssize_t n = recv(h.fd, h.message.data(), h.message.size(), 0);
        if (n <= 0) {
            h.message.clear();
            h.at = 0;
            return LIBUSB_ERROR_NO_DEVICE;  // the calculator went away
        }
        h.message.resize(static_cast<std::size_t>(n));
        h.at = 0;
    }
    const std::size_t n = std::min(h.message.size() - h.at, static_cast<std::size_t>(length));
    std::memcpy(data, h.message.data() + h.at, n);
    h.at += n;
    *transferred = static_cast<int>(n);
    if (h.at == h.message.size()) h.zlpdue = h.message.size() % kPacketSize == 0;
    return 0;
}

// Runs the submitted reads: each completes, times out or finds the device gone; with wait
// false only those that need not wait.
void runtransfers(bool wait) {
    for (std::size_t i = 0; i < g_pending.size();) {
        libusb_transfer* t = g_pending[i];
        int got = 0;
        const int r = t->status == LIBUSB_TRANSFER_CANCELLED
                          ? LIBUSB_ERROR_INTERRUPTED
                          : readin(*handle(t->dev_handle), t->buffer, t->length, &got,
                                   wait ? static_cast<int>(t->timeout ? t->timeout : 60000) : 0);
        if (!wait && r == LIBUSB_ERROR_TIMEOUT) {
            ++i;
            continue;
        }
        t->actual_length = got;
        t->status = r == 0                      ? LIBUSB_TRANSFER_COMPLETED
                    : r == LIBUSB_ERROR_TIMEOUT ? LIBUSB_TRANSFER_TIMED_OUT
                    : r == LIBUSB_ERROR_INTERRUPTED ? LIBUSB_TRANSFER_CANCELLED
                                                : LIBUSB_TRANSFER_NO_DEVICE;
        g_pending.erase(g_pending.begin() + static_cast<std::ptrdiff_t>(i));
        if (t->callback) t->callback(t);
    }
}

libusb_config_descriptor* configdescriptor() {
    auto* endpoints = static_cast<libusb_endpoint_descriptor*>(std::calloc(2, sizeof(libusb_endpoint_descriptor)));
    auto* setting = static_cast<libusb_interface_descriptor*>(std::calloc(1, sizeof(libusb_interface_descriptor)));
    auto* iface = static_cast<libusb_interface*>(std::calloc(1, sizeof(libusb_interface)));
    auto* config = static_cast<libusb_config_descriptor*>(std::calloc(1, sizeof(libusb_config_descriptor)));
    const unsigned char addresses[] = {0x81, 0x02};
    for (int i = 0; i < 2; ++i) {
        endpoints[i].bLength = LIBUSB_DT_ENDPOINT_SIZE;
        endpoints[i].bDescriptorType = LIBUSB_DT_ENDPOINT;
        endpoints[i].bEndpointAddress = addresses[i];
        endpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        endpoints[i].wMaxPacketSize = kPacketSize;
    }
    setting->bLength = LIBUSB_DT_INTERFACE_SIZE;
    setting->bDescriptorType = LIBUSB_DT_INTERFACE;
    setting->bNumEndpoints = 2;
    setting->bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    setting->endpoint = endpoints;
    iface->altsetting = setting;
    iface->num_altsetting = 1;
    config->bLength = LIBUSB_DT_CONFIG_SIZE;
    config->bDescriptorType = LIBUSB_DT_CONFIG;
    config->bNumInterfaces = 1;
    config->bConfigurationValue = 1;
    config->MaxPower = 50;
    config->interface = iface;
    return config;
}

} // namespace

SHIM_EXPORT int access(const char* path, int mode) {
    if (std::strncmp(path, "/dev/bus/usb", 12) == 0) return 0;
    return real<int(const char*, int)>("access")(path, mode);
}

SHIM_EXPORT int libusb_init(libusb_context** ctx) {
    if (ctx) *ctx = nullptr;
    return 0;
}
SHIM_EXPORT void libusb_exit(libusb_context*) {}
SHIM_EXPORT void libusb_set_debug(libusb_context*, int) {}
SHIM_EXPORT int libusb_set_option(libusb_context*, libusb_option, ...) { return 0; }

SHIM_EXPORT ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
    const bool present = std::getenv("TESSALY92_USB_SOCKET") != nullptr;
    *list = static_cast<libusb_device**>(std::calloc(2, sizeof(libusb_device*)));
    if (present) (*list)[0] = device();
    return present ? 1 : 0;
}
SHIM_EXPORT void libusb_free_device_list(libusb_device** list, int) { std::free(list); }
SHIM_EXPORT libusb_device* libusb_ref_device(libusb_device* dev) { return dev; }
SHIM_EXPORT void libusb_unref_device(libusb_device*) {}
SHIM_EXPORT uint8_t libusb_get_bus_number(libusb_device*) { return 1; }
SHIM_EXPORT uint8_t libusb_get_device_address(libusb_device*) { return 4; }
SHIM_EXPORT uint8_t libusb_get_port_number(libusb_device*) { return 1; }

SHIM_EXPORT int libusb_get_device_descriptor(libusb_device*, libusb_device_descriptor* d) {
    std::memset(d, 0, sizeof *d);
    d->bLength = LIBUSB_DT_DEVICE_SIZE;
    d->bDescriptorType = LIBUSB_DT_DEVICE;
    d->bcdUSB = 0x0110;
    d->bMaxPacketSize0 = 8;
    d->idVendor = 0x0451;
    d->idProduct = 0xE004;
    d->bcdDevice = 0x0103;
    d->iManufacturer = 1;
    d->iProduct = 2;
    d->bNumConfigurations = 1;
    return 0;
}

SHIM_EXPORT int libusb_get_active_config_descriptor(libusb_device*, libusb_config_descriptor** config) {
    *config = configdescriptor();
    return 0;
}
SHIM_EXPORT int libusb_get_config_descriptor(libusb_device*, uint8_t index, libusb_config_descriptor** config) {
    if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
    *config = configdescriptor();
    return 0;
}
SHIM_EXPORT void libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (!config) return;
    std::free(const_cast<libusb_endpoint_descriptor*>(config->interface->altsetting->endpoint));
    std::free(const_cast<libusb_interface_descriptor*>(config->interface->altsetting));
    std::free(const_cast<libusb_interface*>(config->interface));
    std::free(config);
}

// Opening the device connects to the calculator's socket; each open is a session of its own.
SHIM_EXPORT int libusb_open(libusb_device*, libusb_device_handle** out) {
    const char* path = std::getenv("TESSALY92_USB_SOCKET");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (!path || std::strlen(path) >= sizeof addr.sun_path) return LIBUSB_ERROR_NO_DEVICE;
    std::strcpy(addr.sun_path, path);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return LIBUSB_ERROR_IO;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        close(fd);
        return LIBUSB_ERROR_NO_DEVICE;
    }
    auto* h = new Handle;
    h->fd = fd;
    *out = reinterpret_cast<libusb_device_handle*>(h);
    return 0;
}

SHIM_EXPORT void libusb_close(libusb_device_handle* dh) {
    if (!dh) return;
    std::erase_if(g_pending, [&](libusb_transfer* t) { return t->dev_handle == dh; });
    close(handle(dh)->fd);
    delete handle(dh);
}

SHIM_EXPORT libusb_device* libusb_get_device(libusb_device_handle*) { return device(); }
SHIM_EXPORT int libusb_set_configuration(libusb_device_handle*, int) { return 0; }
SHIM_EXPORT int libusb_get_configuration(libusb_device_handle*, int* config) {
    *config = 1;
    return 0;
}
SHIM_EXPORT int libusb_release_interface(libusb_device_handle*, int) { return 0; }
SHIM_EXPORT int libusb_clear_halt(libusb_device_handle*, unsigned char) { return 0; }
SHIM_EXPORT int libusb_reset_device(libusb_device_handle*) { return 0; }
SHIM_EXPORT int libusb_kernel_driver_active(libusb_device_handle*, int) { return 0; }
SHIM_EXPORT int libusb_detach_kernel_driver(libusb_device_handle*, int) { return 0; }

// A port another program holds answers its one-byte "in use" at once.
SHIM_EXPORT int libusb_claim_interface(libusb_device_handle* dh, int iface) {
    if (iface != 0) return LIBUSB_ERROR_NOT_FOUND;
    pollfd p{handle(dh)->fd, POLLIN, 0};
    unsigned char b = 0;
    if (poll(&p, 1, 20) > 0 && recv(p.fd, &b, 1, MSG_PEEK | MSG_DONTWAIT) == 1 && b == 'B') return LIBUSB_ERROR_BUSY;
    return 0;
}

SHIM_EXPORT int libusb_get_string_descriptor_ascii(libusb_device_handle*, uint8_t index, unsigned char* data,
                                                   int length) {
    const char* text = index == 1 ? kMaker : index == 2 ? kProduct : nullptr;
    if (!text) return LIBUSB_ERROR_INVALID_PARAM;
    const int n = std::min(length - 1, static_cast<int>(std::strlen(text)));
    std::memcpy(data, text, static_cast<std::size_t>(n));
    data[n] = 0;
    return n;
}

SHIM_EXPORT int libusb_bulk_transfer(libusb_device_handle* dh, unsigned char endpoint, unsigned char* data, int length,
                                     int* transferred, unsigned int timeout) {
    Handle& h = *handle(dh);
    int sent = 0;
    if (!transferred) transferred = &sent;
    if (endpoint & LIBUSB_ENDPOINT_IN) return readin(h, data, length, transferred, timeout ? static_cast<int>(timeout) : 60000);
    *transferred = 0;
    if (length == 0) return 0;
    if (send(h.fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL) < 0) return LIBUSB_ERROR_NO_DEVICE;
    *transferred = length;
    return 0;
}

SHIM_EXPORT libusb_transfer* libusb_alloc_transfer(int isopackets) {
    return static_cast<libusb_transfer*>(std::calloc(
        1, sizeof(libusb_transfer) + static_cast<std::size_t>(isopackets) * sizeof(libusb_iso_packet_descriptor)));
}
SHIM_EXPORT void libusb_free_transfer(libusb_transfer* t) {
    if (!t) return;
    std::erase(g_pending, t);
    if (t->flags & LIBUSB_TRANSFER_FREE_BUFFER) std::free(t->buffer);
    std::free(t);
}
SHIM_EXPORT int libusb_submit_transfer(libusb_transfer* t) {
    if (!(t->endpoint & LIBUSB_ENDPOINT_IN)) return LIBUSB_ERROR_NOT_SUPPORTED;  // writes go by bulk_transfer
    t->status = LIBUSB_TRANSFER_COMPLETED;
    g_pending.push_back(t);
    return 0;
}
SHIM_EXPORT int libusb_cancel_transfer(libusb_transfer* t) {
    t->status = LIBUSB_TRANSFER_CANCELLED;
    return 0;
}
SHIM_EXPORT int libusb_handle_events(libusb_context*) {
    runtransfers(true);
    return 0;
}
SHIM_EXPORT int libusb_handle_events_completed(libusb_context*, int*) {
    runtransfers(true);
    return 0;
}
SHIM_EXPORT int libusb_handle_events_timeout(libusb_context*, timeval* tv) {
    runtransfers(tv && (tv->tv_sec || tv->tv_usec));
    return 0;
}
SHIM_EXPORT int libusb_handle_events_timeout_completed(libusb_context*, timeval* tv, int*) {
    return libusb_handle_events_timeout(nullptr, tv);
}
