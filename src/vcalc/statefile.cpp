#include "vcalc/statefile.h"

#include "files/filename.h"
#include "files/tifile.h"

#include <cstdio>
#include <optional>

#include "files/safefile.h"
#include "vcalc/exchanges.h"

namespace tessaly {

// The state file is an ordinary TI-92 group file: a folder entry before the variables of
// every folder (empty folders too), so any TI-92 reader lists it. The locked flag goes into
// the attribute byte of the variable's entry, which readers ignore and the package writer
// leaves 0; nowhere else in the format can hold it.
namespace {
constexpr std::string_view kStateComment = "Virtual TI-92 memory";
} // namespace

std::string statefileproblem(const std::string& path, const CalculatorModel& model) {
    if (isgroupfileof(model, path)) return {};
    return path + " is not a group file of the " + std::string(model.name) + " (." + std::string(model.fileprefix) +
           "g), in which its memory is kept.";
}

bool loadcalcmemory(const std::string& path, CalcMemory& memory, std::string* error, const CalculatorModel& model) {
    TiFileReader reader;
    if (!reader.open(path, error)) return false;
    const std::string group = groupextension(model);
    // Its one entry would load as a variable, and the first change would write the file
    // back as a group: the backup would be gone.
    if (reader.file().backuplayout) {
        if (error)
            *error = path + " is a memory backup, not a group file; the memory is kept in a group file (." + group + ").";
        return false;
    }
    // Likewise a single-variable file would be written back as a group at the first change.
    if (const std::string why = statefileproblem(path, model); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    if (reader.file().model->signature != model.signature) {
        if (error) *error = path + " was made for the " + std::string(reader.file().model->name) + ", not the " +
                            std::string(model.name) + ".";
        return false;
    }

    CalcMemory loaded;
    auto folder = [&loaded](const std::string& name) -> CalcFolder& {
        for (auto& f : loaded.folders)
            if (f.name == name) return f;
        loaded.folders.push_back({name, {}});
        return loaded.folders.back();
    };
    folder("main");
    for (const auto& e : reader.file().entries) {
        if (e.isfolder()) {
            folder(e.name);
            continue;
        }
        CalcVariable v;
        v.name = e.name;
        v.type = e.type;
        v.archived = model.hasarchive && e.attribute == model.archivedattribute;
        v.locked = !v.archived && (e.attribute & kLockedAttribute) != 0;
        if (!reader.readvariable(e, v.data)) {
            if (error) *error = "Cannot read " + e.fullname() + " from " + path + ".";
            return false;
        }
        folder(e.folder.empty() ? "main" : e.folder).variables.push_back(std::move(v));
    }
    memory = std::move(loaded);
    return true;
}

bool savecalcmemory(const std::string& path, const CalcMemory& memory, std::string* error,
                    const CalculatorModel& model) {
    std::vector<TiTableItem> items;
    for (const auto& f : memory.folders) {
        items.push_back({.folder = true, .name = f.name, .count = static_cast<std::uint16_t>(f.variables.size())});
        for (const auto& v : f.variables) {
            if (v.data.size() < 2) {
                if (error) *error = "Cannot save " + f.name + "\\" + v.name + ": it has no size word.";
                return false;
            }
            items.push_back({.folder = false,
                             .name = v.name,
                             .type = v.type,
                             .attribute = v.archived ? model.archivedattribute
                                          : v.locked ? kLockedAttribute
                                                     : std::uint8_t(0),
                             .size = static_cast<std::uint32_t>(v.data.size())});
        }
    }
    auto header = tiheader(kStateComment, items, false, error, model.signature);
    if (!header) return false;
    TiFileOutput out;
    if (!out.create(path, error)) return false;
    out.write(*header);
    for (const auto& f : memory.folders)
        for (const auto& v : f.variables) out.writesection(v.data, false);
    return out.commit(error);
}

} // namespace tessaly

// The Flash file: a line of settings, then each application as a line with its name and
// size followed by its bytes. Read back strictly: a damaged file is refused whole rather
// than half taken.
namespace tessaly {

namespace {
constexpr std::string_view kFlashStateMagic = "tessaly92-vcalc flash 1\n";
} // namespace

std::string flashstatepath(const std::string& statepath) { return statepath + ".flash"; }

bool savecalcflash(const std::string& path, const CalcFlash& flash, std::string* error) {
    std::string out(kFlashStateMagic);
    out += "system " + std::to_string(flash.os[0]) + " " + std::to_string(flash.os[1]);
    out += " hardware " + std::to_string(flash.hardwarerevision);
    out += " waiting " + std::to_string(flash.waiting ? 1 : 0);
    out += " clock " + std::to_string(flash.clockoffset) + " " + std::to_string(flash.dateformat) + " " +
           std::to_string(flash.timeformat) + "\n";
    for (const CalcApplication& a : flash.applications) {
        out += "application " + std::to_string(a.data.size()) + " " + a.name + "\n";
        out.append(a.data.begin(), a.data.end());
    }
    return savewhole(path, out, error);
}

bool loadcalcflash(const std::string& path, CalcFlash& flash, std::string* error) {
    std::FILE* fp = openregular(path, error);
    if (!fp) return false;
    std::string bytes;
    if (!readandclose(fp, bytes)) {
        if (error) *error = "Cannot read " + path + ".";
        return false;
    }
    auto damaged = [&] {
        if (error) *error = path + " is not the Flash of a virtual calculator.";
        return false;
    };
    if (!bytes.starts_with(kFlashStateMagic)) return damaged();
    std::size_t at = kFlashStateMagic.size();
    auto line = [&]() -> std::optional<std::string> {
        const auto end = bytes.find('\n', at);
        if (end == std::string::npos) return std::nullopt;
        std::string l = bytes.substr(at, end - at);
        at = end + 1;
        return l;
    };
    const auto settings = line();
    CalcFlash loaded;
    unsigned major = 0, minor = 0, hardware = 0, waiting = 0, dateformat = 0, timeformat = 0;
    long long offset = 0;
    if (!settings || std::sscanf(settings->c_str(), "system %u %u hardware %u waiting %u clock %lld %u %u", &major, &minor,
                                 &hardware, &waiting, &offset, &dateformat, &timeformat) != 7 ||
        major > 255 || minor > 255 || hardware > 255 || waiting > 1 || dateformat < 1 || dateformat > 8 ||
        (timeformat != 12 && timeformat != 24))
        return damaged();
    loaded.os = {static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)};
    loaded.hardwarerevision = static_cast<std::uint8_t>(hardware);
    loaded.waiting = waiting == 1;
    loaded.clockoffset = offset;
    loaded.dateformat = static_cast<std::uint8_t>(dateformat);
    loaded.timeformat = static_cast<std::uint8_t>(timeformat);
    while (at < bytes.size()) {
        const auto head = line();
        unsigned long size = 0;
        int used = 0;
        if (!head || std::sscanf(head->c_str(), "application %lu %n", &size, &used) != 1 || used == 0)
            return damaged();
        const std::string name = head->substr(static_cast<std::size_t>(used));
        if (size > bytes.size() - at || !holdablename(name)) return damaged();
        loaded.applications.push_back(
            {name, std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(at + size))});
        at += size;
    }
    flash = std::move(loaded);
    return true;
}

} // namespace tessaly
