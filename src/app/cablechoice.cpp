#include "app/cablechoice.h"

#include <algorithm>
#include <system_error>

namespace tessaly::app {

std::size_t cablekindindex(std::string_view key) {
    for (std::size_t i = 0; i < std::size(kCableKinds); ++i)
        if (kCableKinds[i].key == key) return i;
    return 0;
}

std::string composelinkstring(std::string_view kind, std::string_view device, std::string_view model) {
    const CableKindEntry& k = kCableKinds[cablekindindex(kind)];
    if (k.key == "parallel") return {};
    if (k.key == "virtual") return model == "auto" ? "virtual" : "virtual:" + std::string(model);
    if (!k.serial) return std::string(k.key);
    return std::string(k.key) + ":" + std::string(device);
}


} // namespace tessaly::app
