#include "link/ports/silverstream.h"
#include "link/ports/titaniumusb.h"

#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <thread>

namespace tessaly {

namespace {

// A run of packet bytes is taken by the bridge as fast as the calculator takes its bits;
// this is long enough for a calculator that thinks before it takes the next byte.
constexpr std::uint32_t kWriteTimeoutMs = 2000;
// Reads of what is left in the bridge after a skip or a power-up.
constexpr std::uint32_t kFlushTimeoutMs = 20;
constexpr std::size_t kFlushLimit = 1024;
constexpr auto kEmptyReadRest = std::chrono::milliseconds(1);

std::string placetext(SilverPlace place) {
    if (place.bus == 0) return "the silver USB cable";
    return "the silver USB cable at bus " + std::to_string(place.bus) + " address " + std::to_string(place.address);
}

using Steady = std::chrono::steady_clock;

} // namespace

std::string silveropenerror(SilverPlace place, UsbProblem problem, const std::string& detail) {
    const std::string cable = placetext(place);
    switch (problem) {
    case UsbProblem::None:
        return {};
    case UsbProblem::Missing:
        return place.bus == 0
                   ? std::string("No silver USB cable (0451:e001) is plugged in: plug it in, and check with "
                                 "tessaly92-cli cables that it is found.")
                   : "No silver USB cable (0451:e001) is at bus " + std::to_string(place.bus) + " address " +
                         std::to_string(place.address) +
                         ": the address changes each time the cable is plugged in; use LINK silver, or see "
                         "tessaly92-cli cables.";
    case UsbProblem::Permission:
        return "No permission to use " + cable +
               ": install tessaly92's udev rule 69-tessaly92-silver.rules into /etc/udev/rules.d, run "
               "sudo udevadm control --reload-rules and plug the cable in again (with the rule in place, "
               "join the group plugdev and log in again).";
    case UsbProblem::KernelDriver: {
        const std::string driver = detail.empty() ? std::string("a kernel driver") : "the kernel driver " + detail;
        return "The silver USB cable is held by " + driver + " that would not let go: unload it" +
               (detail.empty() ? std::string() : " (sudo rmmod " + detail + ")") + " and plug the cable in again.";
    }
    case UsbProblem::Busy:
        return "Another program holds " + cable + ": close it and try again.";
    case UsbProblem::Failed:
        break;
    }
    return "Cannot use " + cable + (detail.empty() ? std::string(".") : ": " + detail + ".");
}

SilverStream::SilverStream(std::unique_ptr<UsbDevice> device, std::string description)
    : m_device(std::move(device)), m_description(std::move(description)) {}

// Clears the halts of both pipes when a transfer is due after the stream opened or a
// transfer failed; false when the cable is lost.
bool SilverStream::ready() {
    if (!m_device) return false;
    if (!m_clearhalts) return true;
    for (std::uint8_t endpoint : {kSilverIn, kSilverOut}) {
        const UsbStatus status = m_device->clearhalt(endpoint);
        if (status == UsbStatus::Gone) {
            fail(status, "clearing its pipes");
            return false;
        }
    }
    m_clearhalts = false;
    return true;
}

void SilverStream::fail(UsbStatus status, const char* during) {
    m_clearhalts = true;
    if (status == UsbStatus::Gone) {
        m_error = "The silver USB cable was unplugged.";
        m_device.reset();
        return;
    }
    if (m_error.empty())
        m_error = std::string("The silver USB cable failed while ") + during +
                  (status == UsbStatus::Timeout ? " (the calculator took no bytes)." : ".");
}

bool SilverStream::write(std::span<const std::uint8_t> bytes) {
    if (!ready()) return false;
    // Whole 32-byte pieces: the bridge takes a long packet only in those.
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t size = std::min(kSilverPacket, bytes.size() - at);
        const UsbTransfer t = m_device->bulkwrite(kSilverOut, bytes.subspan(at, size), kWriteTimeoutMs);
        at += std::min(t.count, size);
        if (t.status != UsbStatus::Ok || t.count == 0) {
            fail(t.status == UsbStatus::Ok ? UsbStatus::Timeout : t.status, "sending");
            return false;
        }
    }
    return true;
}

int SilverStream::read(std::span<std::uint8_t> out, std::uint32_t timeoutms) {
    if (out.empty()) return 0;
    if (m_pendingpos == m_pending.size()) {
        if (!ready()) return -1;
        m_pending.clear();
        m_pendingpos = 0;
        const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutms);
        std::uint8_t packet[kSilverPacket];
        while (m_pending.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
            // Always a whole packet: a shorter read would lose the rest of it.
            const UsbTransfer t = m_device->bulkread(kSilverIn, packet, std::uint32_t(std::max<long long>(left, 1)));
            m_pending.assign(packet, packet + std::min(t.count, kSilverPacket));
            if (!m_pending.empty() || t.status == UsbStatus::Timeout) break;
            if (t.status == UsbStatus::Stall) {
                // A stalled pipe is cleared and asked again while time is left.
                m_clearhalts = true;
                if (!ready()) return -1;
            } else if (t.status != UsbStatus::Ok) {
                fail(t.status, "receiving");
                return -1;
            }
            // Neither data nor an error: the bridge had nothing yet; ask again, after a rest,
            // or a bridge that answers at once with nothing would keep a core busy.
            if (Steady::now() >= deadline) break;
            std::this_thread::sleep_for(kEmptyReadRest);
        }
        if (m_pending.empty()) return 0;
    }
    const std::size_t n = std::min(out.size(), m_pending.size() - m_pendingpos);
    std::copy_n(m_pending.begin() + std::ptrdiff_t(m_pendingpos), n, out.begin());
    m_pendingpos += n;
    return int(n);
}

void SilverStream::flushinput() {
    m_pending.clear();
    m_pendingpos = 0;
    if (!ready()) return;
    std::uint8_t packet[kSilverPacket];
    for (std::size_t dropped = 0; dropped < kFlushLimit;) {
        const UsbTransfer t = m_device->bulkread(kSilverIn, packet, kFlushTimeoutMs);
        if (t.status != UsbStatus::Ok || t.count == 0) break;
        dropped += t.count;
    }
    m_clearhalts = true;
    ready();
}

std::unique_ptr<ByteStream> opensilver(const LinkSpec& spec, UsbHost& host, std::string* error) {
    const SilverPlace place{spec.usbbus, spec.usbaddress};
    UsbProblem problem = UsbProblem::None;
    std::string detail;
    auto device = host.open(place, &problem, &detail);
    if (!device) {
        if (error) *error = silveropenerror(place, problem == UsbProblem::None ? UsbProblem::Failed : problem, detail);
        return nullptr;
    }
    std::string description = "silver USB cable";
    if (place.bus) description += " (bus " + std::to_string(place.bus) + " address " + std::to_string(place.address) + ")";
    return std::make_unique<SilverStream>(std::move(device), std::move(description));
}

std::unique_ptr<ByteStream> opensilver(const LinkSpec& spec, std::string* error) {
    return opensilver(spec, usbhost(), error);
}

// ---- the host over libusb-1.0 ----

namespace {

UsbStatus statusof(int rc) {
    switch (rc) {
    case LIBUSB_SUCCESS: return UsbStatus::Ok;
    case LIBUSB_ERROR_TIMEOUT: return UsbStatus::Timeout;
    case LIBUSB_ERROR_PIPE: return UsbStatus::Stall;
    case LIBUSB_ERROR_NO_DEVICE: return UsbStatus::Gone;
    default: return UsbStatus::Failed;
    }
}

class LibusbDevice final : public UsbDevice {
public:
    explicit LibusbDevice(libusb_device_handle* handle) : m_handle(handle) {}
    ~LibusbDevice() override {
        libusb_release_interface(m_handle, 0);
        libusb_close(m_handle);
    }
    LibusbDevice(const LibusbDevice&) = delete;
    LibusbDevice& operator=(const LibusbDevice&) = delete;

    UsbStatus clearhalt(std::uint8_t endpoint) override { return statusof(libusb_clear_halt(m_handle, endpoint)); }
    UsbTransfer bulkread(std::uint8_t endpoint, std::span<std::uint8_t> into, std::uint32_t timeoutms) override {
        int got = 0;
        const int rc = libusb_bulk_transfer(m_handle, endpoint, into.data(), int(into.size()), &got, timeoutms);
        return {statusof(rc), std::size_t(std::max(got, 0))};
    }
    UsbTransfer bulkwrite(std::uint8_t endpoint, std::span<const std::uint8_t> bytes, std::uint32_t timeoutms) override {
        int sent = 0;
        // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
        auto* data = const_cast<unsigned char*>(bytes.data());
        const int rc = libusb_bulk_transfer(m_handle, endpoint, data, int(bytes.size()), &sent, timeoutms);
        return {statusof(rc), std::size_t(std::max(sent, 0))};
    }

private:
    libusb_device_handle* m_handle;
};

// The kernel driver bound to the cable's interface 0, from sysfs; empty when none is known.
std::string kerneldriver(libusb_device* device) {
    std::uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, int(sizeof ports));
    if (n <= 0) return {};
    std::string name = std::to_string(libusb_get_bus_number(device)) + "-";
    for (int i = 0; i < n; ++i) name.append(i ? "." : "").append(std::to_string(ports[i]));
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/sys/bus/usb/devices/" + name + ":1.0/driver", ec);
    return ec ? std::string() : target.filename().string();
}

class LibusbHost final : public UsbHost {
public:
    ~LibusbHost() override {
        if (m_context) libusb_exit(m_context);
    }

    std::vector<SilverFound> list() override { return listof(kSilverProduct); }
    std::unique_ptr<UsbDevice> open(SilverPlace place, UsbProblem* problem, std::string* detail) override {
        return openof(kSilverProduct, place, problem, detail);
    }
    std::vector<SilverFound> listtitanium() override { return listof(kTitaniumProduct); }
    std::unique_ptr<UsbDevice> opentitanium(SilverPlace place, UsbProblem* problem, std::string* detail) override {
        return openof(kTitaniumProduct, place, problem, detail);
    }

private:
    std::vector<SilverFound> listof(std::uint16_t product) {
        std::vector<SilverFound> found;
        foreach(product, [&](libusb_device* device, SilverPlace place) {
            SilverFound f{place, UsbProblem::None, {}};
            // Opened, claimed and let go at once: what a transfer would meet.
            libusb_device_handle* handle = nullptr;
            take(device, &handle, &f.problem, &f.detail).reset();
            found.push_back(std::move(f));
            return false;
        });
        return found;
    }

    std::unique_ptr<UsbDevice> openof(std::uint16_t product, SilverPlace place, UsbProblem* problem, std::string* detail) {
        std::unique_ptr<UsbDevice> result;
        *problem = UsbProblem::Missing;
        foreach(product, [&](libusb_device* device, SilverPlace at) {
            if (place.bus && (place.bus != at.bus || place.address != at.address)) return false;
            libusb_device_handle* handle = nullptr;
            result = take(device, &handle, problem, detail);
            return true;
        });
        return result;
    }

    bool init(std::string* detail) {
        if (m_context) return true;
        const int rc = libusb_init(&m_context);
        if (rc != 0) {
            m_context = nullptr;
            if (detail) *detail = libusb_strerror(rc);
            return false;
        }
        return true;
    }

    // Calls f for each device of the product until it returns true.
    template <typename F>
    void foreach(std::uint16_t product, F f) {
        if (!init(nullptr)) return;
        libusb_device** devices = nullptr;
        const ssize_t count = libusb_get_device_list(m_context, &devices);
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(devices[i], &d) != 0) continue;
            if (d.idVendor != kSilverVendor || d.idProduct != product) continue;
            const SilverPlace at{libusb_get_bus_number(devices[i]), libusb_get_device_address(devices[i])};
            if (f(devices[i], at)) break;
        }
        if (count >= 0) libusb_free_device_list(devices, 1);
    }

    // Opens, configures and claims: the device, or nullptr with the problem.
    std::unique_ptr<UsbDevice> take(libusb_device* device, libusb_device_handle** handle, UsbProblem* problem,
                                    std::string* detail) {
        int rc = libusb_open(device, handle);
        if (rc != 0) {
            *problem = rc == LIBUSB_ERROR_ACCESS     ? UsbProblem::Permission
                       : rc == LIBUSB_ERROR_NO_DEVICE ? UsbProblem::Missing
                                                      : UsbProblem::Failed;
            *detail = libusb_strerror(rc);
            return nullptr;
        }
        auto fail = [&](UsbProblem p, std::string why) -> std::unique_ptr<UsbDevice> {
            libusb_close(*handle);
            *problem = p;
            *detail = std::move(why);
            return nullptr;
        };
        if (libusb_kernel_driver_active(*handle, 0) == 1) {
            const std::string driver = kerneldriver(device);
            if (libusb_detach_kernel_driver(*handle, 0) != 0) return fail(UsbProblem::KernelDriver, driver);
        }
        int configuration = 0;
        if (libusb_get_configuration(*handle, &configuration) != 0 || configuration != 1) {
            rc = libusb_set_configuration(*handle, 1);
            if (rc == LIBUSB_ERROR_BUSY) return fail(UsbProblem::Busy, libusb_strerror(rc));
            if (rc == LIBUSB_ERROR_ACCESS) return fail(UsbProblem::Permission, libusb_strerror(rc));
            if (rc != 0) return fail(UsbProblem::Failed, libusb_strerror(rc));
        }
        rc = libusb_claim_interface(*handle, 0);
        if (rc == LIBUSB_ERROR_BUSY) return fail(UsbProblem::Busy, libusb_strerror(rc));
        if (rc != 0) return fail(rc == LIBUSB_ERROR_ACCESS ? UsbProblem::Permission : UsbProblem::Failed, libusb_strerror(rc));
        *problem = UsbProblem::None;
        detail->clear();
        return std::make_unique<LibusbDevice>(*handle);
    }

    libusb_context* m_context = nullptr;
};

} // namespace

UsbHost& usbhost() {
    static LibusbHost host;
    return host;
}

} // namespace tessaly
