#pragma once
#include <string>
#include <string_view>

namespace tessaly {

// A rich-text file (as word processors wrote them when such notes were kept) as the
// HTML a rich text box shows: its text with bold, italic and underline, paragraphs as line
// breaks, every character in UTF-8. Fonts, colours, pictures and the document's own tables
// are left out; what it cannot read it skips, so a damaged file still shows its text.
std::string rtftohtml(std::string_view rtf);

} // namespace tessaly
