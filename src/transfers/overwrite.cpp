#include "transfers/overwrite.h"

#include <algorithm>

#include "files/tifile.h"
#include "files/ticharset.h"
#include "files/varname.h"

namespace tessaly {

std::vector<std::string> outgoingnames(const std::filesystem::path& path,
                                       const std::function<bool(std::size_t)>& selected) {
    std::vector<std::string> out;
    const auto file = readtifile(path, nullptr);
    if (!file) return out;
    std::size_t index = 0;
    for (const TiEntry* v : file->variables())
        if (!selected || selected(index++)) out.push_back(withfolder(v->fullname()));
    return out;
}

std::vector<Clash> findclashes(const std::vector<std::string>& outgoing, const DirectoryListing& listing) {
    std::vector<Clash> out;
    for (const std::string& name : outgoing) {
        const std::string wanted = lowername(withfolder(name));
        const auto row = std::find_if(listing.rows.begin(), listing.rows.end(),
                                      [&](const ListRow& r) { return lowername(r.caption) == wanted; });
        const bool again = std::any_of(out.begin(), out.end(), [&](const Clash& c) { return lowername(c.name) == wanted; });
        if (row != listing.rows.end() && !again) out.push_back({row->caption, row->locked, row->archived});
    }
    return out;
}

bool SendPlan::takesanymodel(const std::filesystem::path& path) const {
    return std::find(anymodel.begin(), anymodel.end(), path) != anymodel.end();
}

bool SendPlan::leavesout(const std::filesystem::path& path) const {
    return std::find(leftout.begin(), leftout.end(), path) != leftout.end();
}

bool SendPlan::skips(const std::string& fullname) const {
    const std::string wanted = lowername(withfolder(fullname));
    return std::any_of(skip.begin(), skip.end(), [&](const std::string& n) { return lowername(n) == wanted; });
}

std::string SendPlan::sentname(const std::string& fullname) const {
    const std::string wanted = lowername(withfolder(fullname));
    for (const auto& [from, to] : renamed)
        if (lowername(from) == wanted) return withfolder(to);
    return fullname;
}

std::optional<SendPlan> planoverwrites(const std::vector<Clash>& clashes, OverwriteQuestions& ask) {
    SendPlan plan;
    bool all = false;
    for (const Clash& c : clashes) {
        OverwriteChoice choice = all && !c.blocked() ? OverwriteChoice::Overwrite : ask.existing(c, !c.blocked());
        while (choice == OverwriteChoice::Rename) {
            if (const auto name = ask.newname(c)) {
                plan.renamed.emplace_back(c.name, *name);
                break;
            }
            choice = ask.existing(c, !c.blocked());
        }
        // A target the calculator refuses is never sent onto.
        if (c.blocked() && (choice == OverwriteChoice::Overwrite || choice == OverwriteChoice::All))
            choice = OverwriteChoice::Skip;
        if (choice == OverwriteChoice::Cancel) return std::nullopt;
        if (choice == OverwriteChoice::Skip) plan.skip.push_back(c.name);
        all = all || choice == OverwriteChoice::All;
    }
    return plan;
}

std::string clashlist(const std::vector<Clash>& clashes) {
    std::string text;
    for (const Clash& c : clashes) {
        if (!text.empty()) text += ", ";
        text += tibytes_to_utf8(c.name);
        if (c.locked) text += " (locked)";
        else if (c.archived) text += " (archived)";
    }
    return text;
}

} // namespace tessaly
