#include "files/rtfreader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "files/ticharset.h"

namespace tessaly {

namespace {

// Code page 1252's printable characters in 0x80..0x9F, where Latin-1 has control codes;
// 0 where it has none.
constexpr char32_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

struct Style {
    bool bold = false, italic = false, underline = false;
    bool skip = false;  // a destination whose text is not the document's (font table, info...)
    int unicodeskip = 1;  // \ucN: the fallback characters after a \u
};

// Destinations that hold no text of the document.
bool skipped(std::string_view word) {
    for (std::string_view d : {"fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "footer",
                               "headerl", "headerr", "footerl", "footerr", "object", "listtable",
                               "listoverridetable", "rsidtbl", "generator", "themedata", "datastore", "latentstyles"})
        if (word == d) return true;
    return false;
}

class Writer {
public:
    void text(char32_t c, const Style& s) {
        if (s.skip) return;
        restyle(s);
        switch (c) {
        case '&': m_html += "&amp;"; break;
        case '<': m_html += "&lt;"; break;
        case '>': m_html += "&gt;"; break;
        case '\t': m_html += "&#9;"; break;
        default: appendutf8(m_html, c);
        }
    }
    void linebreak(const Style& s) {
        if (!s.skip) m_html += "<br>";
    }
    std::string finish() {
        restyle(Style{});
        return "<html><body><pre style=\"white-space: pre-wrap\">" + m_html + "</pre></body></html>";
    }

private:
    // Closes and opens tags so the spans nest: underline inside italic inside bold.
    void restyle(const Style& s) {
        if (s.bold == m_on.bold && s.italic == m_on.italic && s.underline == m_on.underline) return;
        if (m_on.underline) m_html += "</u>";
        if (m_on.italic) m_html += "</i>";
        if (m_on.bold) m_html += "</b>";
        if (s.bold) m_html += "<b>";
        if (s.italic) m_html += "<i>";
        if (s.underline) m_html += "<u>";
        m_on = s;
    }
    std::string m_html;
    Style m_on;
};

} // namespace

std::string rtftohtml(std::string_view rtf) {
    Writer out;
    std::vector<Style> stack{Style{}};
    int fallback = 0;  // characters still to drop after a \u
    std::size_t i = 0;
    auto put = [&](char32_t c) {
        if (fallback > 0) {
            --fallback;
            return;
        }
        out.text(c, stack.back());
    };
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (c == '{') {
            stack.push_back(stack.back());
            ++i;
            // {\* ...}: a destination a reader may skip when it does not know it.
            if (rtf.substr(i, 2) == "\\*") stack.back().skip = true;
            continue;
        }
        if (c == '}') {
            if (stack.size() > 1) stack.pop_back();
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            put(static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        // A control: \'hh, a control symbol, or a control word with an optional number.
        ++i;
        if (i >= rtf.size()) break;
        const char d = rtf[i];
        if (d == '\'') {
            const std::string hex(rtf.substr(i + 1, 2));
            i += 1 + hex.size();
            if (hex.size() < 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[1])))
                continue;
            const auto byte = static_cast<unsigned char>(std::strtoul(hex.c_str(), nullptr, 16));
            const char32_t ch = byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
            if (ch) put(ch);
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(d))) {
            ++i;
            if (d == '\\' || d == '{' || d == '}') put(static_cast<unsigned char>(d));
            else if (d == '~') put(0xA0);
            else if (d == '_') put('-');
            else if (d == '\n' || d == '\r') out.linebreak(stack.back());
            continue;
        }
        std::size_t end = i;
        while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end]))) ++end;
        const std::string_view word = rtf.substr(i, end - i);
        bool hasnumber = false;
        long number = 0;
        std::size_t n = end;
        if (n < rtf.size() && (rtf[n] == '-' || std::isdigit(static_cast<unsigned char>(rtf[n])))) {
            const std::size_t start = n;
            ++n;
            while (n < rtf.size() && n - start < 10 && std::isdigit(static_cast<unsigned char>(rtf[n]))) ++n;
            number = std::strtol(std::string(rtf.substr(start, n - start)).c_str(), nullptr, 10);
            hasnumber = true;
        }
        if (n < rtf.size() && rtf[n] == ' ') ++n;  // the delimiter belongs to the word
        i = n;
        Style& s = stack.back();
        const bool on = !hasnumber || number != 0;
        if (word == "b") s.bold = on;
        else if (word == "i") s.italic = on;
        else if (word == "ul") s.underline = on;
        else if (word == "ulnone") s.underline = false;
        else if (word == "plain") s.bold = s.italic = s.underline = false;
        else if (word == "par" || word == "line") out.linebreak(s);
        else if (word == "tab") put('\t');
        else if (word == "uc" && hasnumber) s.unicodeskip = static_cast<int>(std::max(0L, number));
        else if (word == "u" && hasnumber) {
            const long code = number < 0 ? number + 65536 : number;
            if (code > 0 && code < 0xD800) put(static_cast<char32_t>(code));
            fallback = s.unicodeskip;
        } else if (skipped(word)) {
            s.skip = true;
        }
    }
    return out.finish();
}

} // namespace tessaly
