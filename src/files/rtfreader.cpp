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

// Walks the text once; each kind of token has its own step.
class Parser {
public:
    explicit Parser(std::string_view rtf) : m_rtf(rtf) {}

    std::string run() {
        while (m_i < m_rtf.size()) {
            const char c = m_rtf[m_i];
            if (c == '{') {
                m_stack.push_back(m_stack.back());
                ++m_i;
                // {\* ...}: a destination a reader may skip when it does not know it.
                if (m_rtf.substr(m_i, 2) == "\\*") m_stack.back().skip = true;
            } else if (c == '}') {
                if (m_stack.size() > 1) m_stack.pop_back();
                ++m_i;
            } else if (c == '\r' || c == '\n') {
                ++m_i;
            } else if (c != '\\') {
                put(static_cast<unsigned char>(c));
                ++m_i;
            } else if (!control()) {
                break;
            }
        }
        return m_out.finish();
    }

private:
    void put(char32_t c) {
        if (m_fallback > 0) {
            --m_fallback;
            return;
        }
        m_out.text(c, m_stack.back());
    }

    // A control: \'hh, a control symbol, or a control word with an optional number.
    // False when the text ends on the backslash.
    bool control() {
        ++m_i;
        if (m_i >= m_rtf.size()) return false;
        const char d = m_rtf[m_i];
        if (d == '\'') hexbyte();
        else if (!std::isalpha(static_cast<unsigned char>(d))) symbol(d);
        else word();
        return true;
    }

    void hexbyte() {
        const std::string hex(m_rtf.substr(m_i + 1, 2));
        m_i += 1 + hex.size();
        if (hex.size() < 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1])))
            return;
        const auto byte = static_cast<unsigned char>(std::strtoul(hex.c_str(), nullptr, 16));
        const char32_t ch = byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
        if (ch) put(ch);
    }

    void symbol(char d) {
        ++m_i;
        if (d == '\\' || d == '{' || d == '}') put(static_cast<unsigned char>(d));
        else if (d == '~') put(0xA0);
        else if (d == '_') put('-');
        else if (d == '\n' || d == '\r') m_out.linebreak(m_stack.back());
    }

    void word() {
        std::size_t end = m_i;
        while (end < m_rtf.size() && std::isalpha(static_cast<unsigned char>(m_rtf[end]))) ++end;
        const std::string_view word = m_rtf.substr(m_i, end - m_i);
        bool hasnumber = false;
        long number = 0;
        std::size_t n = end;
        if (n < m_rtf.size() && (m_rtf[n] == '-' || std::isdigit(static_cast<unsigned char>(m_rtf[n])))) {
            const std::size_t start = n;
            ++n;
            while (n < m_rtf.size() && n - start < 10 && std::isdigit(static_cast<unsigned char>(m_rtf[n]))) ++n;
            number = std::strtol(std::string(m_rtf.substr(start, n - start)).c_str(), nullptr, 10);
            hasnumber = true;
        }
        if (n < m_rtf.size() && m_rtf[n] == ' ') ++n;  // the delimiter belongs to the word
        m_i = n;
        apply(word, hasnumber, number);
    }

    void apply(std::string_view word, bool hasnumber, long number) {
        Style& s = m_stack.back();
        const bool on = !hasnumber || number != 0;
        if (word == "b") s.bold = on;
        else if (word == "i") s.italic = on;
        else if (word == "ul") s.underline = on;
        else if (word == "ulnone") s.underline = false;
        else if (word == "plain") s.bold = s.italic = s.underline = false;
        else if (word == "par" || word == "line") m_out.linebreak(s);
        else if (word == "tab") put('\t');
        else if (word == "uc" && hasnumber) s.unicodeskip = static_cast<int>(std::max(0L, number));
        else if (word == "u" && hasnumber) {
            const long code = number < 0 ? number + 65536 : number;
            if (code > 0 && code < 0xD800) put(static_cast<char32_t>(code));
            m_fallback = s.unicodeskip;
        } else if (skipped(word)) {
            s.skip = true;
        }
    }

    std::string_view m_rtf;
    std::size_t m_i = 0;
    Writer m_out;
    std::vector<Style> m_stack{Style{}};
    int m_fallback = 0;  // characters still to drop after a \u
};

} // namespace

std::string rtftohtml(std::string_view rtf) { return Parser(rtf).run(); }

} // namespace tessaly
