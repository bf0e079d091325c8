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
