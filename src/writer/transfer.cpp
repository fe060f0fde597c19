// Transferring a record from one handle into a write handle.
#include <algorithm>
#include <cstring>

#include "core/error.hpp"
#include "core/record.hpp"
#include "writer/check_write.hpp"
#include "writer/output.hpp"

namespace {
// At least as wide as the widest line that ckpPuts would write for the
// record, from lengths alone: a head as it is, with a blank and a
// continuation after it, and each property with its blank and delimiters,
// every character of it escaped (an escape is one character). Most records
// are far narrower than the limit, and need not be laid out to know it.
std::size_t widestBound(const ckpInfo* info) {
    std::size_t widest = 0;
    for (const ckpLine* line = info->files.top->firstLine; line != nullptr; line = line->next) {
        std::size_t width = std::strlen(line->text) + 2;
        for (const ckpProp* prop = line->firstProp; prop != nullptr; prop = prop->next) {
            std::size_t name = prop->plain ? prop->nameLength : 2 * std::strlen(prop->name);
            std::size_t value = prop->value == nullptr ? 0
                                : prop->plain          ? prop->valueLength
                                                       : 2 * std::strlen(prop->value);
            width += name + value + 4;
        }
        widest = std::max(widest, width);
    }
    return widest;
}

// Why a copied record could not be written so that it reads back as it
// is, or null: a name that is empty where it would be lost or join the flag
// before it, or a line wider than the reader takes in one piece (a property
// that fills its line and must be followed by the backslash of a
// continuation, a head that leaves no room for one).
const char* unwritable(const ckpInfo* info) {
    if (info->record.type == ckpTypeComment) {
        return nullptr; // written as read
    }
    const ckpProp* before = nullptr;
    for (const ckpLine* line = info->files.top->firstLine; line != nullptr; line = line->next) {
        for (const ckpProp* prop = line->firstProp; prop != nullptr; prop = prop->next) {
            bool afterFlag = before != nullptr && before->value == nullptr;
            if (prop->name == nullptr ||
                (prop->name[0] == '\0' && (prop->value == nullptr || afterFlag))) {
                return "illegal property name";
            }
            before = prop;
        }
    }
    auto limit = static_cast<std::size_t>(ckpLinePiece);
    if (widestBound(info) > limit && tiWidestLine(info) > limit) {
        return "line too long";
    }
    return nullptr;
}
// A refused transfer leaves the destination an empty record without type,
// as a refused head does: nothing of the old record or of a part copied
// stays to be written, and no property can be added to it.
void emptyRecord(ckpInfo* destination) {
    tiNewRecord(destination, "ckpXfer", tiKeepCount, nullptr, nullptr);
    destination->record.type = ckpTypeNone;
}
} // namespace

extern "C" {

// The copy keeps every line of the source record with its line break; the
// lines' texts are cut to their heads (tiCopy), so that ckpPuts writes each
// property once, from the property lists, on the line it was read from. A
// record that would not read back as it is is refused, and the destination
// left with an empty record.
int ckpXfer(ckpInfo* source, ckpInfo* destination) {
    if (source == nullptr) {
        tiSetError("no source to ckpXfer");
        return 0;
    }
    if (!tiCheckWrite(destination, "ckpXfer", tiStartRecord, tiAppendOK)) {
        return 0;
    }
    if (!tiCopy(source, destination)) {
        emptyRecord(destination);
        return 0;
    }
    const char* fault = unwritable(destination);
    if (fault == nullptr) {
        return 1;
    }
    const char* path = destination->record.objPath != nullptr ? destination->record.objPath : "";
    tiSetErrorf("record \"%s\" cannot be written in ckpXfer: %s", path, fault);
    emptyRecord(destination);
    return 0;
}
}
