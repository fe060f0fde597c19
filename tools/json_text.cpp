// JSON strings escaped run by run: plain bytes are copied a word at a time
// up to the next byte that needs escaping or checking.
#include "json_text.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <utility>

namespace ckptool {
namespace {

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

std::uint64_t wordAt(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
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

// Bytes that are no UTF-8 go out as the lone surrogates U+DC80 to U+DCFF
// ("\udcXX" for the byte XX), as Python's surrogateescape reads them, so that
// the file's bytes can be had back.
char* writeByteEscapes(char* to, std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    for (char b : bytes) {
        auto c = static_cast<unsigned char>(b);
        std::memcpy(to, "\\udc", 4);
        to[4] = hex[c >> 4];
        to[5] = hex[c & 0xF];
        to += 6;
    }
    return to;
}

char* writeEscape(char* to, unsigned char c) {
    char named = 0;
    switch (c) {
    case '"':
        named = '"';
        break;
    case '\\':
        named = '\\';
        break;
    case '\b':
        named = 'b';
        break;
    case '\t':
        named = 't';
        break;
    case '\n':
        named = 'n';
        break;
    case '\f':
        named = 'f';
        break;
    case '\r':
        named = 'r';
        break;
    default:
        break;
    }
    *to++ = '\\';
    if (named != 0) {
        *to++ = named;
        return to;
    }
    const char* hex = "0123456789abcdef";
    char code[] = {'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
    std::memcpy(to, code, sizeof code);
    return to + sizeof code;
}

// Copies the plain run that begins at `at` to `to`, eight bytes at a time
// while it lasts; returns the ends of both. The word of the last eight
// bytes covers a short rest: the bytes before `at` in it belong to the same
// run when it is all plain, so it lands over their copies.
struct Ends {
    std::size_t at;
    char* to;
};

Ends copyPlainRun(std::string_view text, std::size_t at, char* to) {
    const char* from = text.data();
    std::size_t size = text.size();
    std::uint64_t word;
    while (at + 8 <= size && !anyNotPlain(word = wordAt(from + at))) {
        std::memcpy(to, &word, sizeof word);
        at += 8;
        to += 8;
    }
    if (at + 8 > size && at < size && size >= 8 && !anyNotPlain(word = wordAt(from + size - 8))) {
        std::memcpy(to - (at - (size - 8)), &word, sizeof word);
        return {size, to + (size - at)};
    }
    while (at < size && plain.is[static_cast<unsigned char>(from[at])]) {
        *to++ = from[at++];
    }
    return {at, to};
}

} // namespace

void JsonBuffer::grow(std::size_t n) {
    std::size_t capacity = capacity_ < 4096 ? 4096 : capacity_ * 2;
    while (capacity - size_ < n) {
        capacity *= 2;
    }
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) {
        std::memcpy(data.get(), data_.get(), size_);
    }
    data_ = std::move(data);
    capacity_ = capacity;
}

void appendJsonString(JsonBuffer& out, std::string_view text) {
    // At most six bytes for one (\u00xx), and the quotes.
    char* to = out.room(text.size() * 6 + 2);
    *to++ = '"';
    std::size_t at = 0;
    while (at < text.size()) {
        Ends ends = copyPlainRun(text, at, to);
        at = ends.at;
        to = ends.to;
        if (at == text.size()) {
            break;
        }
        auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            to = writeEscape(to, c);
            ++at;
            continue;
        }
        Sequence sequence = sequenceAt(text, at);
        if (sequence.whole) {
            std::memcpy(to, text.data() + at, sequence.length);
            to += sequence.length;
        } else {
            to = writeByteEscapes(to, text.substr(at, sequence.length));
        }
        at += sequence.length;
    }
    *to++ = '"';
    out.commit(to);
}

void appendJsonInteger(JsonBuffer& out, long long value) {
    char* to = out.room(24);
    out.commit(std::to_chars(to, to + 24, value).ptr);
}

} // namespace ckptool
