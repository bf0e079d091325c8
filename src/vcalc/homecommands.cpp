#include <algorithm>
#include <cctype>
#include <functional>

#include "files/varname.h"
#include "link/byteorder.h"
#include "vcalc/homescreen.h"

namespace tessaly {

namespace {

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::vector<std::string> arguments(const std::string& args) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from <= args.size()) {
        const auto comma = std::min(args.find(',', from), args.size());
        out.push_back(lowstring(trimmed(args.substr(from, comma - from))));
        from = comma + 1;
    }
    return out;
}

// "folder\name" or a name in main.
std::pair<std::string, std::string> split(const std::string& fullname) {
    VariablePath path = splitname(withfolder(fullname));
    return {std::move(path.folder), std::move(path.name)};
}

// The calculator does not tell names apart by case; a state file may hold upper-case ones.
CalcVariable* lookup(CalcMemory& memory, const std::string& fullname) {
    const auto [folder, name] = split(fullname);
    for (auto& f : memory.folders)
        if (lowstring(f.name) == folder)
            for (auto& v : f.variables)
                if (lowstring(v.name) == name) return &v;
    return nullptr;
}

CalcFolder* folderof(CalcMemory& memory, const std::string& name) {
    for (auto& f : memory.folders)
        if (lowstring(f.name) == name) return &f;
    return nullptr;
}

void erase(CalcMemory& memory, const CalcVariable* v) {
    for (auto& f : memory.folders) std::erase_if(f.variables, [v](const CalcVariable& x) { return &x == v; });
}

std::string rename(CalcMemory& memory, const std::vector<std::string>& names) {
    if (names.size() != 2) return "Error: Argument error";
    CalcVariable* v = lookup(memory, names[0]);
    if (!v) return "Error: Undefined variable";
    if (v->locked || v->archived) return "Error: Variable is locked, protected, or archived";
    const auto [folder, name] = split(names[1]);
    if (!validvarname(name)) return "Error: Invalid variable name";
    if (!folderof(memory, folder)) return "Error: Folder not found";
    if (lookup(memory, names[1])) return "Error: Duplicate variable name";
    CalcVariable moved = *v;
    moved.name = name;
    erase(memory, v);
    folderof(memory, folder)->variables.push_back(std::move(moved));
    return "Done";
}

// Runs the change on every named variable in turn; the first failing one stops the rest,
// as the calculator stops at its first error.
std::string eachvariable(CalcMemory& memory, const std::vector<std::string>& names, bool& changed,
                         const std::function<std::string(CalcVariable&)>& change) {
    for (const std::string& name : names) {
        if (name.empty()) continue;
        CalcVariable* v = lookup(memory, name);
        if (!v) return "Error: Undefined variable";
        std::string error = change(*v);
        if (!error.empty()) return error;
        changed = true;
    }
    return "Done";
}

} // namespace

std::string HomeScreen::evaluate(const std::string& entry, CalcMemory& memory, bool& changed) {
    const std::string text = trimmed(entry);
    const auto space = text.find(' ');
    const std::string command = lowstring(text.substr(0, space));
    const std::vector<std::string> names =
        arguments(space == std::string::npos ? std::string() : trimmed(text.substr(space + 1)));
    auto flag = [&](bool CalcVariable::*field, bool value) {
        return eachvariable(memory, names, changed, [=](CalcVariable& v) -> std::string {
            v.*field = value;
            return {};
        });
    };
    if (command == "delvar")
        return eachvariable(memory, names, changed, [&](CalcVariable& v) -> std::string {
            if (v.locked || v.archived) return "Error: Variable is locked, protected, or archived";
            erase(memory, &v);
            return {};
        });
    if (command == "newfold") {
        const std::string& name = names.front();
        if (names.size() != 1 || !validvarname(name)) return "Error: Invalid folder name";
        if (folderof(memory, name)) return "Error: Duplicate folder name";
        memory.folders.push_back({name, {}});
        changed = true;
        return "Done";
    }
    if (command == "rename") {
        const std::string answer = rename(memory, names);
        changed = answer == "Done";
        return answer;
    }
    if (command == "lock") return flag(&CalcVariable::locked, true);
    if (command == "unlock") return flag(&CalcVariable::locked, false);
    if (m_archive && command == "archive") return flag(&CalcVariable::archived, true);
    if (m_archive && command == "unarchiv") return flag(&CalcVariable::archived, false);
    return text;
}

} // namespace tessaly
