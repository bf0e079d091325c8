// libFuzzer target over every reader of TI-92 files: the header and table parser, the
// information row and variable list, and the FARGO metadata. Any input must give a result
// or a clear refusal, and never a read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "files/fargo.h"
#include "files/fileinfo.h"
#include "files/tifile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaly;
    // Exactly size bytes on the heap, so a read one past them is caught.
    auto* copy = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    for (std::size_t i = 0; i < size; ++i) copy[i] = data[i];
    std::span<const std::uint8_t> bytes(copy, size);

    std::string error;
    if (auto file = parsetifile(bytes, &error)) {
        // Every variable's place lies inside the file.
        for (const auto& e : file->entries) {
            if (e.isfolder()) continue;
            if (std::uint64_t(e.dataposition) + e.size > size) std::abort();
            volatile std::uint8_t last = e.size ? copy[e.dataposition + e.size - 1] : 0;
            (void)last;
        }
        (void)variablerows(*file);
    } else if (error.empty()) {
        std::abort();  // a refusal always says why
    }
    // The header alone, claiming a longer file than the bytes held.
    (void)parsetiheader(bytes, std::uint64_t(size) * 2 + 1, nullptr);
    const FileInfo info = tifileinfo(bytes, size);
    if (!info.sendable && info.error.empty()) std::abort();
    (void)fargometa(bytes);
    (void)fargolibraries(bytes);
    (void)fargodescription(bytes);
    std::free(copy);
    return 0;
}
