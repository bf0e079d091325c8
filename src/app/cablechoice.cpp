#include "app/cablechoice.h"

#include <algorithm>
#include <system_error>

namespace tessaly::app {

namespace {
constexpr std::string_view kSerialPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};
}

std::size_t cablekindindex(std::string_view key) {
    for (std::size_t i = 0; i < std::size(kCableKinds); ++i)
        if (kCableKinds[i].key == key) return i;
    return 0;
}

std::string composelinkstring(std::string_view kind, std::string_view device) {
    const CableKindEntry& k = kCableKinds[cablekindindex(kind)];
    if (k.key == "parallel") return {};
    if (!k.serial) return std::string(k.key);
    return std::string(k.key) + ":" + std::string(device);
}

std::vector<std::string> serialdevices(const std::filesystem::path& dev) {
    struct Found {
        std::size_t prefix;
        unsigned long number;
        std::string path;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dev, ec)) {
        const std::string name = entry.path().filename().string();
        for (std::size_t p = 0; p < std::size(kSerialPrefixes); ++p) {
            const std::string_view prefix = kSerialPrefixes[p];
            const std::string_view rest = std::string_view(name).substr(std::min(prefix.size(), name.size()));
            if (!name.starts_with(prefix) || rest.empty() || rest.size() > 6 ||
                !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            found.push_back({p, std::stoul(std::string(rest)), entry.path().string()});
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : a.number < b.number;
    });
    std::vector<std::string> paths;
    for (auto& f : found) paths.push_back(std::move(f.path));
    return paths;
}

} // namespace tessaly::app
