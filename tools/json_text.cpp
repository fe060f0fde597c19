// JSON strings escaped run by run: plain bytes are copied in one piece up to
// the next byte that needs escaping or checking.
#include "json_text.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace ckptool {
namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Printable ASCII other than the quote and the backslash goes out as it is.
constexpr bool isPlain(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

struct PlainBytes {
    bool is[256] = {};
    constexpr PlainBytes() {
        for (int c = 0; c < 256; ++c) {
            is[c] = isPlain(static_cast<unsigned char>(c));
        }
    }
};

constexpr PlainBytes plain;

// Whether any of eight bytes is not plain: a control character, a byte of
// 0x80 or more, a quote or a backslash. Lets runs of plain text be skipped
// a word at a time.
bool anyNotPlain(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    std::uint64_t quote = word ^ (ones * '"');
    std::uint64_t backslash = word ^ (ones * '\\');
    std::uint64_t below = (word - ones * 0x20) & ~word;
    std::uint64_t zeroQuote = (quote - ones) & ~quote;
    std::uint64_t zeroBackslash = (backslash - ones) & ~backslash;
    return ((below | zeroQuote | zeroBackslash | word) & highs) != 0;
}

bool plainWord(std::string_view text, std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    return !anyNotPlain(word);
}

// The end of the plain run that begins at `at`.
std::size_t plainRunEnd(std::string_view text, std::size_t at) {
    while (at + 8 <= text.size() && plainWord(text, at)) {
        at += 8;
    }
    // Fewer than eight bytes left: the word that ends the text covers them.
    if (at + 8 > text.size() && at < text.size() && text.size() >= 8 &&
        plainWord(text, text.size() - 8)) {
        return text.size();
    }
    while (at < text.size() && plain.is[static_cast<unsigned char>(text[at])]) {
        ++at;
    }
    return at;
}

// The UTF-8 character that begins at `at` (a byte >= 0x80): `length` bytes
// long and `whole`, or only its first `length` bytes well formed (at least
// one byte, also when it begins no character).
struct Sequence {
    std::size_t length;
    bool whole;
};

Sequence sequenceAt(std::string_view text, std::size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        low = lead == 0xE0 ? 0xA0 : low;   // no overlong forms
        high = lead == 0xED ? 0x9F : high; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high; // nothing past U+10FFFF
    } else {
        return {1, false};
    }
    std::size_t length = 1;
    while (length < need && at + length < text.size()) {
        auto next = static_cast<unsigned char>(text[at + length]);
        if (next < low || next > high) {
            break;
        }
        low = 0x80;
        high = 0xBF;
        ++length;
    }
    return {length, length == need};
}

void appendEscape(std::string& out, unsigned char c) {
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        break;
    }
    const char* hex = "0123456789abcdef";
    char escaped[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
    out.append(escaped, sizeof escaped);
}

} // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t run = 0; // where the bytes not yet copied begin
    std::size_t at = 0;
    while ((at = plainRunEnd(text, at)) < text.size()) {
        auto c = static_cast<unsigned char>(text[at]);
        Sequence sequence = c >= 0x80 ? sequenceAt(text, at) : Sequence{1, false};
        if (sequence.whole) {
            at += sequence.length;
            continue;
        }
        out.append(text.data() + run, at - run);
        if (c >= 0x80) {
            out += replacementCharacter;
        } else {
            appendEscape(out, c);
        }
        at += sequence.length;
        run = at;
    }
    out.append(text.data() + run, at - run);
    out += '"';
}

void appendJsonInteger(std::string& out, long long value) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

} // namespace ckptool
