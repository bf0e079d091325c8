#include <gtest/gtest.h>

#include "files/rtfreader.h"

namespace tessaly {
namespace {

// The body between the wrapper's <pre ...> and </pre>.
std::string body(std::string_view rtf) {
    const std::string html = rtftohtml(rtf);
    const auto start = html.find('>', html.find("<pre")) + 1;
    return html.substr(start, html.find("</pre>") - start);
}

TEST(RtfReader, TextStylesAndCharacters) {
    struct Case {
        const char* rtf;
        const char* html;
    };
    const Case cases[] = {
        {R"({\rtf1\ansi{\fonttbl{\f0 Courier New;}}\f0 Hello\par World})", "Hello<br>World"},
        {R"({\rtf1 a {\b bold} \b0 c})", "a <b>bold</b> c"},
        {R"({\rtf1 \b x\ul y\ulnone\b0 z})", "<b>x</b><b><u>y</u></b>z"},
        {R"({\rtf1 caf\'e9 \'80 5 \u945?})", "caf\xC3\xA9 \xE2\x82\xAC 5 \xCE\xB1"},
        {R"({\rtf1 {\*\generator X;}{\info{\title T}}1 < 2 & \{x\}\\})", "1 &lt; 2 &amp; {x}\\"},
        {R"({\rtf1 cut \'e)", "cut "},  // a damaged file keeps what it has
    };
    for (const Case& c : cases) EXPECT_EQ(body(c.rtf), c.html) << c.rtf;
}

} // namespace
} // namespace tessaly
