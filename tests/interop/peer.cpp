// interop_peer: one operation of the independent link library against a calculator on the
// parallel cable (port 1), for the interoperability tests. Run it with parportshim preloaded to
// reach a virtual calculator. Prints a plain result; exit 0 on success, 1 on failure, 3 when
// the library does not offer the operation for that model, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The headers are C and say "restrict".
#define restrict __restrict
#include <ticalcs.h>
#include <tifiles.h>
#undef restrict

namespace {

constexpr int kUnsupported = 3;

const struct {
    const char* id;
    CalcModel model;
} kModels[] = {
    {"ti92", CALC_TI92}, {"ti92p", CALC_TI92P}, {"v200", CALC_V200}, {"ti89", CALC_TI89}, {"ti89t", CALC_TI89T},
};

int usage() {
    std::fputs("usage: interop_peer [-t TENTHS] [-u] MODEL OPERATION [ARGS]\n"
               "-u: the calculator's own USB port (a TI-89 Titanium) instead of the parallel cable\n"
               "MODEL: ti92 ti92p v200 ti89 ti89t\n"
               "OPERATION: ready | dir | recv FOLDER\\NAME TYPE DIR | recv-ns OUT | send FILE |\n"
               "  send-ns FILE | backup DIR | restore FILE | screen OUT.pbm | key CODE |\n"
               "  del FOLDER\\NAME | mkdir FOLDER | version | send-app FILE | send-os FILE |\n"
               "  recv-app NAME OUT | cert OUT | idlist | clock | apps |\n"
               "  fileinfo FILE | makeprogram OUT BYTES (these two without the cable)\n",
               stderr);
    return 2;
}

int failed(int err) {
    char* message = nullptr;
    if (ticalcs_error_get(err, &message) && ticables_error_get(err, &message) && tifiles_error_get(err, &message)) {
        std::printf("error %d\n", err);
    } else {
        std::printf("error %d: %s\n", err, message);
        std::free(message);
    }
    return 1;
}

// folder\name split the way the library keeps it.
void splitname(const std::string& full, VarEntry& ve) {
    const auto slash = full.find('\\');
    const std::string folder = slash == std::string::npos ? "" : full.substr(0, slash);
    const std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    std::snprintf(ve.folder, sizeof ve.folder, "%s", folder.c_str());
    std::snprintf(ve.name, sizeof ve.name, "%s", name.c_str());
}

std::string fullname(const VarEntry& ve) {
    return ve.folder[0] ? std::string(ve.folder) + "\\" + ve.name : std::string(ve.name);
}

void printentry(CalcModel model, const VarEntry& ve) {
    std::printf("%s\t%s\t%u%s\n", fullname(ve).c_str(), tifiles_vartype2string(model, ve.type), ve.size,
                ve.attr == ATTRB_ARCHIVED ? "\tarchived" : ve.attr == ATTRB_LOCKED ? "\tlocked" : "");
}

int listing(CalcHandle* h, CalcModel model) {
    GNode* vars = nullptr;
    GNode* apps = nullptr;
    if (int err = ticalcs_calc_get_dirlist(h, &vars, &apps)) return failed(err);
    for (GNode* folder = vars ? vars->children : nullptr; folder; folder = folder->next)
        for (GNode* var = folder->children; var; var = var->next)
            if (var->data) printentry(model, *static_cast<VarEntry*>(var->data));
    ticalcs_dirlist_destroy(&vars);
    ticalcs_dirlist_destroy(&apps);
    return 0;
}

int fileinfo(const char* path) {
    if (tifiles_file_is_backup(path) && !tifiles_file_is_group(path)) {
        BackupContent* b = tifiles_content_create_backup(CALC_NONE);
        const int err = tifiles_file_read_backup(path, b);
        if (!err) std::printf("backup %s %u\n", tifiles_model_to_string(b->model), b->data_length);
        tifiles_content_delete_backup(b);
        return err ? failed(err) : 0;
    }
    FileContent* c = tifiles_content_create_regular(CALC_NONE);
    const int err = tifiles_file_read_regular(path, c);
    if (!err) {
        std::printf("%s\n", tifiles_model_to_string(c->model));
        for (unsigned i = 0; i < c->num_entries; ++i) printentry(c->model, *c->entries[i]);
    }
    tifiles_content_delete_regular(c);
    return err ? failed(err) : 0;
}

// The calculator's screen as a PBM picture of the size its display shows.
int screen(CalcHandle* h, const char* out) {
    CalcScreenCoord sc{};
    sc.format = SCREEN_CLIPPED;
    uint8_t* bitmap = nullptr;
    if (int err = ticalcs_calc_recv_screen(h, &sc, &bitmap)) return failed(err);
    FILE* f = std::fopen(out, "wb");
    if (!f) return 1;
    const unsigned rowbytes = (sc.clipped_width + 7) / 8;
    std::fprintf(f, "P4\n%u %u\n", sc.clipped_width, sc.clipped_height);
    std::fwrite(bitmap, rowbytes, sc.clipped_height, f);
    std::fclose(f);
    std::printf("%ux%u\n", sc.clipped_width, sc.clipped_height);
    g_free(bitmap);
    return 0;
}

// The applications the listing names, one a line.
int applications(CalcHandle* h) {
    GNode* vars = nullptr;
    GNode* apps = nullptr;
    if (int err = ticalcs_calc_get_dirlist(h, &vars, &apps)) return failed(err);
    // Under the root, or under a folder node the library may put in between.
    auto print = [](GNode* node) {
        if (const auto* ve = static_cast<VarEntry*>(node->data); ve && ve->type == 0x24) std::printf("%s\t%u\n", ve->name, ve->size);
    };
    for (GNode* node = apps ? apps->children : nullptr; node; node = node->next) {
        print(node);
        for (GNode* app = node->children; app; app = app->next) print(app);
    }
    ticalcs_dirlist_destroy(&vars);
    ticalcs_dirlist_destroy(&apps);
    return 0;
}

int flash(CalcHandle* h, const std::string& op, const std::vector<std::string>& a) {
    int err = 0;
    if (op == "send-app") err = ticalcs_calc_send_app2(h, a[0].c_str());
    if (op == "send-os") err = ticalcs_calc_send_os2(h, a[0].c_str());
    if (op == "cert") err = ticalcs_calc_recv_cert2(h, a[0].c_str());
    if (op == "recv-app") {
        VarRequest vr{};
        std::snprintf(vr.name, sizeof vr.name, "%s", a[0].c_str());
        vr.type = 0x24;
        err = ticalcs_calc_recv_app2(h, a[1].c_str(), &vr);
    }
    if (err) return failed(err);
    std::puts("ok");
    return 0;
}

int idlist(CalcHandle* h) {
    uint8_t id[64] = {};
    if (int err = ticalcs_calc_recv_idlist(h, id)) return failed(err);
    std::printf("%s\n", reinterpret_cast<const char*>(id));
    return 0;
}

int getclock(CalcHandle* h) {
    CalcClock c{};
    if (int err = ticalcs_calc_get_clock(h, &c)) return failed(err);
    std::printf("%04u-%02u-%02u %02u:%02u\n", c.year, c.month, c.day, c.hours, c.minutes);
    return 0;
}

int version(CalcHandle* h) {
    CalcInfos infos{};
    if (int err = ticalcs_calc_get_version(h, &infos)) return failed(err);
    std::printf("os %s\nboot %s\nhw %u\ndevice 0x%02x\n", infos.os_version, infos.boot_version, infos.hw_version,
                infos.device_type);
    return 0;
}

// The size the listing gives a variable: on the USB port the library takes a variable's size
// from the request it is given, as a program that lists first fills it in.
unsigned listedsize(CalcHandle* h, const VarRequest& vr) {
    GNode* vars = nullptr;
    GNode* apps = nullptr;
    unsigned size = 0;
    if (ticalcs_calc_get_dirlist(h, &vars, &apps)) return 0;
    for (GNode* folder = vars ? vars->children : nullptr; folder; folder = folder->next)
        for (GNode* var = folder->children; var; var = var->next)
            if (const auto* ve = static_cast<VarEntry*>(var->data); ve && fullname(*ve) == fullname(vr)) size = ve->size;
    ticalcs_dirlist_destroy(&vars);
    ticalcs_dirlist_destroy(&apps);
    return size;
}

// Into DIR/NAME.EXT, the extension the library gives that type; prints the file's path.
int recvvar(CalcHandle* h, CalcModel model, const std::string& name, const char* type, const char* dir) {
    VarRequest vr{};
    splitname(name, vr);
    vr.type = tifiles_string2vartype(model, type);
    if (model == CALC_TI89T_USB) vr.size = listedsize(h, vr);
    const std::string path = std::string(dir) + "/" + vr.name + "." + tifiles_vartype2fext(model, vr.type);
    FileContent* c = tifiles_content_create_regular(model);
    int err = ticalcs_calc_recv_var(h, MODE_NORMAL, c, &vr);
    if (!err) err = tifiles_file_write_regular(path.c_str(), c, nullptr);
    if (!err) std::printf("%s\n", path.c_str());
    tifiles_content_delete_regular(c);
    return err ? failed(err) : 0;
}

int recvns(CalcHandle* h, CalcModel model, const char* out) {
    FileContent* c = tifiles_content_create_regular(model);
    VarEntry* ve = nullptr;
    int err = ticalcs_calc_recv_var_ns(h, MODE_NORMAL, c, &ve);
    if (!err) err = tifiles_file_write_regular(out, c, nullptr);
    if (!err)
        for (unsigned i = 0; i < c->num_entries; ++i) std::printf("%s\n", fullname(*c->entries[i]).c_str());
    tifiles_ve_delete(ve);
    tifiles_content_delete_regular(c);
    return err ? failed(err) : 0;
}

int sendvar(CalcHandle* h, CalcModel model, const char* path, bool silent) {
    FileContent* c = tifiles_content_create_regular(model);
    int err = tifiles_file_read_regular(path, c);
    if (!err) err = silent ? ticalcs_calc_send_var(h, MODE_NORMAL, c) : ticalcs_calc_send_var_ns(h, MODE_NORMAL, c);
    tifiles_content_delete_regular(c);
    if (err) return failed(err);
    std::puts("ok");
    return 0;
}

int backup(CalcHandle* h, CalcModel model, const char* dir) {
    const std::string path = std::string(dir) + "/backup." + tifiles_fext_of_backup(model);
    if (int err = ticalcs_calc_recv_backup2(h, path.c_str())) return failed(err);
    std::printf("%s\n", path.c_str());
    return 0;
}

// A program variable main\big of about that many bytes for the model, written by the library
// (a length word, a body of ":" lines, the program tag): something large to send.
int makeprogram(CalcModel model, const char* out, unsigned bytes) {
    FileContent* c = tifiles_content_create_regular(model);
    VarEntry* ve = tifiles_ve_create_alloc_data(bytes);
    std::snprintf(ve->folder, sizeof ve->folder, "main");
    std::snprintf(ve->name, sizeof ve->name, "big");
    std::snprintf(c->default_folder, sizeof c->default_folder, "main");
    ve->type = tifiles_string2vartype(model, "PRGM");
    ve->size = bytes;
    for (unsigned i = 2; i < bytes; ++i) ve->data[i] = i % 32 == 0 ? '\r' : ':';
    ve->data[0] = static_cast<uint8_t>((bytes - 2) >> 8);
    ve->data[1] = static_cast<uint8_t>(bytes - 2);
    ve->data[bytes - 1] = 0xDC;
    tifiles_content_add_entry(c, ve);
    const int err = tifiles_file_write_regular(out, c, nullptr);
    tifiles_content_delete_regular(c);
    return err ? failed(err) : 0;
}

// Which feature an operation needs, so that one the library does not offer for the model
// is told apart from one that fails.
const struct {
    const char* op;
    int feature;
} kFeatures[] = {
    {"ready", OPS_ISREADY}, {"dir", OPS_DIRLIST}, {"recv", OPS_VARS},  {"recv-ns", OPS_VARS},
    {"send", OPS_VARS},     {"send-ns", OPS_VARS}, {"backup", OPS_BACKUP}, {"restore", OPS_BACKUP},
    {"screen", OPS_SCREEN}, {"key", OPS_KEYS},    {"del", OPS_DELVAR}, {"mkdir", OPS_NEWFLD},
    {"version", OPS_VERSION}, {"send-app", OPS_FLASH}, {"send-os", OPS_OS}, {"recv-app", OPS_FLASH},
    {"cert", OPS_FLASH},    {"idlist", OPS_IDLIST}, {"clock", OPS_CLOCK}, {"apps", OPS_DIRLIST},
};

int run(CalcHandle* h, CalcModel model, const std::string& op, const std::vector<std::string>& a) {
    auto arg = [&](std::size_t i) { return a[i].c_str(); };
    if (op == "ready") {
        if (int err = ticalcs_calc_isready(h)) return failed(err);
        std::puts("ok");
        return 0;
    }
    if (op == "dir") return listing(h, model);
    if (op == "recv" && a.size() == 3) return recvvar(h, model, a[0], arg(1), arg(2));
    if (op == "recv-ns" && a.size() == 1) return recvns(h, model, arg(0));
    if ((op == "send" || op == "send-ns") && a.size() == 1) return sendvar(h, model, arg(0), op == "send");
    if (op == "backup" && a.size() == 1) return backup(h, model, arg(0));
    if (op == "restore" && a.size() == 1) {
        if (int err = ticalcs_calc_send_backup2(h, arg(0))) return failed(err);
        std::puts("ok");
        return 0;
    }
    if (op == "screen" && a.size() == 1) return screen(h, arg(0));
    if (op == "key" && a.size() == 1) {
        if (int err = ticalcs_calc_send_key(h, static_cast<uint32_t>(std::strtoul(arg(0), nullptr, 0))))
            return failed(err);
        std::puts("ok");
        return 0;
    }
    if ((op == "del" || op == "mkdir") && a.size() == 1) {
        VarRequest vr{};
        splitname(op == "mkdir" ? a[0] + "\\" : a[0], vr);
        if (int err = op == "del" ? ticalcs_calc_del_var(h, &vr) : ticalcs_calc_new_fld(h, &vr)) return failed(err);
        std::puts("ok");
        return 0;
    }
    if (op == "version") return version(h);
    if ((op == "send-app" || op == "send-os" || op == "cert") && a.size() == 1) return flash(h, op, a);
    if (op == "recv-app" && a.size() == 2) return flash(h, op, a);
    if (op == "idlist") return idlist(h);
    if (op == "clock") return getclock(h);
    if (op == "apps") return applications(h);
    return usage();
}

} // namespace

int main(int argc, char** argv) {
    int timeout = 10;
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "-t") == 0) {
        timeout = std::atoi(argv[i + 1]);
        i += 2;
    }
    const bool usb = i < argc && std::strcmp(argv[i], "-u") == 0;
    i += usb;
    if (argc - i < 2) return usage();
    const std::string id = argv[i], op = argv[i + 1];
    const std::vector<std::string> args(argv + i + 2, argv + argc);
    CalcModel model = CALC_NONE;
    for (const auto& m : kModels)
        if (id == m.id) model = m.model;
    if (model == CALC_NONE || (usb && model != CALC_TI89T)) return usage();
    // On its own port the library knows the Titanium as a model of its own.
    if (usb) model = CALC_TI89T_USB;

    ticables_library_init();
    tifiles_library_init();
    ticalcs_library_init();
    // The file operations need no cable.
    if (op == "fileinfo") return args.size() == 1 ? fileinfo(args[0].c_str()) : usage();
    if (op == "makeprogram")
        return args.size() == 2 ? makeprogram(model, args[0].c_str(), static_cast<unsigned>(std::atoi(args[1].c_str())))
                                : usage();

    CableHandle* cable = ticables_handle_new(usb ? CABLE_USB : CABLE_PAR, PORT_1);
    if (!cable) return 1;
    ticables_options_set_timeout(cable, static_cast<unsigned>(timeout));
    CalcHandle* h = ticalcs_handle_new(model);
    if (int err = ticalcs_cable_attach(h, cable)) return failed(err);
    for (const auto& f : kFeatures)
        if (op == f.op && !(ticalcs_calc_features(h) & f.feature)) {
            std::puts("unsupported");
            return kUnsupported;
        }
    const int rc = run(h, model, op, args);
    ticalcs_cable_detach(h);
    ticalcs_handle_del(h);
    ticables_handle_del(cable);
    return rc;
}
