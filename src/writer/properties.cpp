// Adding a property to the record being written.
#include <cstring>

#include "core/error.hpp"
#include "core/handle.hpp"
#include "reader/syntax.hpp"
#include "writer/writer.hpp"

namespace {
bool legalName(const char* name) {
    if (name == nullptr) {
        return false;
    }
    for (const char* p = name; *p != '\0'; ++p) {
        if (!tiIsWordChar(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return true;
}
} // namespace

extern "C" {

int ckpPutProp(ckpInfo* info, const char* name, const char* value) {
    if (!tiCheckWrite(info, "ckpPutProp", tiKeepRecord, tiAppendOK)) {
        return 0;
    }
    ckpLine* line = info->file->firstLine;
    // A name may be empty only where a value follows it and no flag stands
    // before it: a lone blank is no property, and `flag ="v"` reads as the
    // flag's value.
    bool afterFlag = line->lastProp != nullptr && line->lastProp->value == nullptr;
    if (!legalName(name) || (name[0] == '\0' && (value == nullptr || afterFlag))) {
        tiSetError("illegal property name");
        return 0;
    }
    // A head that fills its line leaves no room for the backslash that
    // continues it before a property.
    if (std::strlen(line->text) > static_cast<std::size_t>(ckpWriteWidth)) {
        tiSetError("no room for properties after the head in ckpPutProp");
        return 0;
    }
    // A value is one token of one physical line: a line feed in it would end
    // the record in the middle of the value.
    if (value != nullptr && std::strchr(value, '\n') != nullptr) {
        tiSetError("illegal property value");
        return 0;
    }
    if (tiFindProp(info, name) != nullptr) {
        tiSetError("non-unique property name");
        return 0;
    }
    // Escapes at most double a text: only a property that might be too long
    // is measured exactly.
    std::size_t most = 2 * (std::strlen(name) + (value != nullptr ? std::strlen(value) : 0)) + 3;
    ckpProp probe{nullptr, nullptr, const_cast<char*>(name), const_cast<char*>(value), 0, -1};
    if (most > static_cast<std::size_t>(ckpHeadMax) &&
        tPropSize(&probe) > static_cast<std::size_t>(ckpHeadMax)) {
        tiSetError("property too long for one line in ckpPutProp");
        return 0;
    }
    // The name was found unique above: no second search.
    return tiAddProp(line, tiNoDupCheck, name, value) != nullptr ? 1 : 0;
}
}
