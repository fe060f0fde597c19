// Property queries of the current record: its type and paths, one property
// by name, and property generators that walk all of them.
#include "reader/queries.hpp"

#include <climits>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/props.hpp"

namespace {
char unknownPath[] = "<unknown>";

// A new walk over the record: its first property, or null (with *id back at
// 0) when there is none or the handle holds no record.
ckpProp* startWalk(ckpInfo* info, int* id) {
    int newId = tiNewGenerator(info);
    if (newId == 0) {
        return nullptr;
    }
    *id = newId;
    const char* missing = info->files.top == nullptr              ? "no ckpFile in ckpGenProp"
                          : info->files.top->firstLine == nullptr ? "no ckpLine in ckpGenProp"
                                                                  : nullptr;
    if (missing != nullptr) {
        tiSetError(missing);
        *id = 0;
        return nullptr;
    }
    ckpProp* first = tiFirstPropFrom(info->files.top->firstLine);
    if (first == nullptr) {
        *id = 0;
        info->walks.cursors[newId] = nullptr;
    }
    return first;
}
} // namespace

int tiNewGenerator(ckpInfo* info) {
    if (info->walks.count >= INT_MAX - 1) {
        tiSetError("ckpProp state allocation failed");
        return 0;
    }
    int n = info->walks.count + 1;
    // Room doubles, so that a caller starting many walks stays linear.
    if (n + 1 > info->walks.room) {
        int room = info->walks.room < 8 ? 8 : info->walks.room;
        while (room < n + 1) {
            room = room > INT_MAX / 2 ? INT_MAX : room * 2;
        }
        auto** slots =
            static_cast<ckpProp**>(tiAlloc(sizeof(ckpProp*) * static_cast<std::size_t>(room)));
        if (slots == nullptr) {
            tiSetError("ckpProp state allocation failed");
            return 0;
        }
        slots[0] = nullptr;
        if (info->walks.cursors != nullptr) {
            for (int i = 0; i <= info->walks.count; ++i) {
                slots[i] = info->walks.cursors[i];
            }
            tiFree(info->walks.cursors);
        }
        info->walks.cursors = slots;
        info->walks.room = room;
    }
    info->walks.cursors[0] = nullptr;
    info->walks.cursors[n] = nullptr;
    info->walks.count = n;
    return n;
}

extern "C" {

int ckpGetType(ckpInfo* info) {
    if (info == nullptr) {
        tiSetError("no ti_struct in ckpGetType");
        return ckpTypeError;
    }
    return info->record.type;
}

char* ckpGetObjPath(ckpInfo* info) {
    return info != nullptr ? info->record.objPath : nullptr;
}

char* ckpGetConfigPath(ckpInfo* info) {
    return info != nullptr ? info->record.configPath : unknownPath;
}

char* ckpGetSubDir(ckpInfo* info) {
    return info != nullptr ? info->record.subDir : nullptr;
}

int ckpGetProp(ckpInfo* info, const char* name, char** value) {
    if (value != nullptr) {
        *value = nullptr;
    }
    if (!tiCheckLine(info, tiGuardQuiet, "ckpGetProp", nullptr, nullptr)) {
        return 0;
    }
    if (name == nullptr || name[0] == '\0') {
        tiSetError("no property name in ckpGetProp");
        return 0;
    }
    ckpProp* prop = tiFindProp(info, name);
    if (prop == nullptr) {
        return 0;
    }
    if (value != nullptr) {
        *value = prop->value;
    }
    return 1;
}

int ckpGenProp(ckpInfo* info, int* id, char** name, char** value) {
    if (value != nullptr) {
        *value = nullptr;
    }
    if (name != nullptr) {
        *name = nullptr;
    }
    if (info == nullptr) {
        tiSetError("no ckpInfo in ckpGenProp");
        return 0;
    }
    if (id == nullptr || *id < 0 || *id > info->walks.count) {
        tiSetError("illegal property generator id");
        return 0;
    }
    ckpProp* prop = nullptr;
    if (*id == 0) {
        prop = startWalk(info, id);
    } else {
        prop = info->walks.cursors[*id];
        if (prop == nullptr) {
            *id = 0;
        }
    }
    if (prop == nullptr) {
        return 0;
    }
    if (name != nullptr) {
        *name = prop->name;
    }
    if (value != nullptr) {
        *value = prop->value;
    }
    info->walks.cursors[*id] = tiNextProp(prop);
    return 1;
}
}
