// Adding a property to the record being written.
#include <array>
#include <cstring>

#include "core/error.hpp"
#include "core/name_hash.hpp"
#include "core/props.hpp"
#include "core/syntax_chars.hpp"
#include "core/text_scan.hpp"
#include "writer/check_write.hpp"
#include "writer/output.hpp"
#include "writer/path_text.hpp"
#include "writer/writer.hpp"

namespace {
// The ASCII word characters, looked up once per character of a name; the
// locale decides the characters outside ASCII.
constexpr std::array<bool, 256> asciiWordChars = [] {
    std::array<bool, 256> table{};
    for (char c = 'a'; c <= 'z'; ++c) {
        table[static_cast<unsigned char>(c)] = true;
        table[static_cast<unsigned char>(c - 'a' + 'A')] = true;
    }
    for (char c = '0'; c <= '9'; ++c) {
        table[static_cast<unsigned char>(c)] = true;
    }
    table['_'] = true;
    return table;
}();

// The length of name when it is made of word characters only, else -1.
std::ptrdiff_t legalNameLength(const char* name) {
    if (name == nullptr) {
        return -1;
    }
    const char* p = name;
    for (;; ++p) {
        while (asciiWordChars[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        if (*p == '\0') {
            return p - name;
        }
        if (!tiIsWordChar(static_cast<unsigned char>(*p))) {
            return -1;
        }
    }
}

// The length of value, or -1 when it holds a line feed. *plain tells
// whether it holds none of the characters that the writer escapes, found
// in the same pass for the common value that has none.
std::ptrdiff_t valueLength(const char* value, bool* plain) {
    std::size_t n = std::strcspn(value, "\n\";\\");
    *plain = value[n] == '\0';
    if (*plain) {
        return static_cast<std::ptrdiff_t>(n);
    }
    n += std::strlen(value + n);
    return std::memchr(value, '\n', n) == nullptr ? static_cast<std::ptrdiff_t>(n) : -1;
}

// Whether the head of line leaves room for the backslash that continues it
// before a property. The text is known to end no later than the end that
// the writer keeps for it, when that is a terminator; it is looked for
// only otherwise.
bool roomAfterHead(const ckpInfo* info, const ckpLine* line) {
    constexpr auto width = static_cast<std::size_t>(ckpWriteWidth);
    const char* end = info->write.pos;
    if (info->write.line == line && end >= line->text && end <= line->text + width &&
        *end == '\0') {
        return true;
    }
    return std::memchr(line->text, '\0', width + 1) != nullptr;
}

// Why the current record cannot carry a property, or null. Without a head
// (nothing begun, or a head refused) ckpPuts writes a bare line end, and a
// comment or blank line reads back with the property as part of its text,
// as does a raw data line after its trailing comment: a property accepted
// there would be lost. A record transferred without head text (an empty
// header, the end of a file) would have the property read back as its path.
const char* noPlaceForProps(const ckpInfo* info, const ckpLine* line) {
    if (info->record.type == ckpTypeNone) {
        return "no record to add a property to in ckpPutProp";
    }
    char c = *tiSkipBlanks(line->text);
    if (info->record.type != ckpTypeComment) {
        return c == '\0' && line->firstProp == nullptr
                   ? "a record without head holds no properties in ckpPutProp"
                   : nullptr;
    }
    if (c == '\0' || c == ';') {
        return "a comment record holds no properties in ckpPutProp";
    }
    return *tiContentEnd(line->text) == ';'
               ? "a trailing comment would hide the property in ckpPutProp"
               : nullptr;
}
} // namespace

extern "C" {

int ckpPutProp(ckpInfo* info, const char* name, const char* value) {
    if (!tiCheckWrite(info, "ckpPutProp", tiKeepRecord, tiAppendOK)) {
        return 0;
    }
    ckpLine* line = info->files.top->firstLine;
    // A name may be empty only where a value follows it and no flag stands
    // before it: a lone blank is no property, and `flag ="v"` reads as the
    // flag's value.
    bool afterFlag = line->lastProp != nullptr && line->lastProp->value == nullptr;
    std::ptrdiff_t nameLength = legalNameLength(name);
    if (nameLength < 0 || (nameLength == 0 && (value == nullptr || afterFlag))) {
        tiSetError("illegal property name");
        return 0;
    }
    // A head that fills its line leaves no room for the backslash that
    // continues it before a property.
    if (!roomAfterHead(info, line)) {
        tiSetError("no room for properties after the head in ckpPutProp");
        return 0;
    }
    // A value is one token of one physical line: a line feed in it would end
    // the record in the middle of the value.
    // A name of word characters never needs an escape.
    bool plain = true;
    std::ptrdiff_t length = value != nullptr ? valueLength(value, &plain) : 0;
    if (length < 0) {
        tiSetError("illegal property value");
        return 0;
    }
    // The name is hashed once, for the duplicate test and for the index
    // that keeps the new property.
    auto nameSize = static_cast<std::size_t>(nameLength);
    tiPropText text{
        name, nameSize, value, static_cast<std::size_t>(length), nameHashOf(name, nameSize), plain};
    if (tiFindPropHashed(info, name, text.hash) != nullptr) {
        tiSetError("non-unique property name");
        return 0;
    }
    // Escapes at most double a text: only a property that might be too long
    // is measured exactly.
    std::size_t most = 2 * (text.nameLength + text.valueLength) + 3;
    if (most > static_cast<std::size_t>(ckpHeadMax) &&
        tPropTextSize(name, value) > static_cast<std::size_t>(ckpHeadMax)) {
        tiSetError("property too long for one line in ckpPutProp");
        return 0;
    }
    if (const char* fault = noPlaceForProps(info, line)) {
        tiSetError(fault);
        return 0;
    }
    // The name was found unique above: no second search.
    return tiAddPropText(line, tiNoDupCheck, text) != nullptr ? 1 : 0;
}
}
