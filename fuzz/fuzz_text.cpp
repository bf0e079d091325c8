// libFuzzer target over every way a text comes in: the editor's Open (a text file decoded
// from UTF-8, Latin-1 or UTF-16), the editor's save and Txt-convert (text to a TI-92 text
// file), and var2txt (the texts of a TI-92 file as UTF-8). The input is tried as all of
// them. Decoded text is always UTF-8; a conversion either writes a file that reads back
// as one text or refuses, says why and leaves nothing under the name the user chose.
#include "files/packagestore.h"
#include "files/textconvert.h"
#include "files/ticharset.h"
#include "files/titext.h"
#include "fuzzsupport.h"

namespace {

using namespace tessaly;
namespace fs = std::filesystem;

void checkconverted(const fs::path& dest, bool saved) {
    FUZZ_REQUIRE(saved == fs::exists(dest));
    if (!saved) return;
    std::string why;
    const auto view = extracttexts(dest, nullptr, &why);
    FUZZ_REQUIRE(view && view->texts == 1);
}

void editor(std::string_view bytes, const PackageStore& store) {
    const std::string decoded = decodetext(bytes);
    FUZZ_REQUIRE(isutf8(decoded));
    std::string why;
    const auto tibytes = texttotibytes(decoded, &why);
    FUZZ_REQUIRE(tibytes || !why.empty());
    if (tibytes) (void)textfits(textcontent(*tibytes), &why);

    fuzz::QuietUser user;
    TransferState state;
    std::string comment;
    const fs::path dest = fuzz::scratch() / "edited.92t";
    const bool saved = savetextvariable(dest, decoded, store, comment, user, user, state, kTI92);
    FUZZ_REQUIRE(saved || user.failures == 1);
    checkconverted(dest, saved);
}

void txtconvert(std::span<const std::uint8_t> bytes, const PackageStore& store) {
    fuzz::writefile(fuzz::scratch() / "note.txt", bytes);
    fuzz::QuietUser user;
    TransferState state;
    std::string comment;
    const int saved = txtconvertcommand(fuzz::scratch(), {"note.txt"}, store, comment, user, user, state, kTI92);
    FUZZ_REQUIRE(saved == 1 || user.failures == 1);
    checkconverted(fuzz::scratch() / "saved-note.92t", saved == 1);
}

void var2txt(std::span<const std::uint8_t> bytes) {
    const fs::path path = fuzz::scratch() / "texts.92t";
    fuzz::writefile(path, bytes);
    std::string why;
    const auto view = extracttexts(path, nullptr, &why);
    FUZZ_REQUIRE(view || !why.empty());
    if (view)
        for (const std::string& line : view->lines) FUZZ_REQUIRE(isutf8(tibytes_to_utf8(linetext(line))));
    for (const std::string& line : textlines(bytes)) FUZZ_REQUIRE(isutf8(tibytes_to_utf8(linetext(line))));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Input in(data, size);
    fuzz::clearscratch();
    fs::create_directories(fuzz::scratch() / "store");
    const PackageStore store(fuzz::scratch() / "store");
    editor(in.text(), store);
    txtconvert(in.bytes(), store);
    var2txt(in.bytes());
    return 0;
}
