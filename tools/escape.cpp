#include "escape.hpp"

namespace ckptool {
namespace {

bool isC0OrDelete(unsigned char c) {
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the well-made UTF-8 sequence that begins at `at`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (n == 0 || at + n > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if (!isContinuation(static_cast<unsigned char>(text[at + i]))) {
            return 0;
        }
    }
    return n;
}

void appendEscaped(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0x0F];
}

} // namespace

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            if (isC0OrDelete(c)) {
                appendEscaped(out, c);
            } else {
                out += static_cast<char>(c);
            }
            ++at;
            continue;
        }
        std::size_t n = utf8Length(text, at);
        // U+0080 to U+009F are C2 80 to C2 9F.
        bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (n == 0) {
            if (c < 0xA0) {
                appendEscaped(out, c);
            } else {
                out += static_cast<char>(c);
            }
            ++at;
        } else if (c1) {
            appendEscaped(out, c);
            appendEscaped(out, static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else {
            out.append(text.substr(at, n));
            at += n;
        }
    }
    return out;
}

} // namespace ckptool
