// libFuzzer target over the rich-text reader: any bytes give HTML in well-formed UTF-8,
// in proportion to the input, and never a read outside them.
#include "files/rtfreader.h"
#include "files/ticharset.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaly;
    const fuzz::Input in(data, size);
    const std::string html = rtftohtml(in.text());
    FUZZ_REQUIRE(isutf8(html));
    // Every input byte turns into a few bytes of HTML at most (an entity, a tag).
    FUZZ_REQUIRE(html.size() <= 16 * size + 256);
    return 0;
}
