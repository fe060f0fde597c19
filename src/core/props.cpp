// Properties of the current record and the two walks over them.
#include <cstring>
#include <new>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/prop_index.hpp"
#include "core/props.hpp"

ckpProp* tiFindProp(ckpInfo* info, const char* name) {
    if (info == nullptr || info->file == nullptr || info->file->firstLine == nullptr) {
        return nullptr;
    }
    return tiPropIndexFind(info, name);
}

ckpProp* tiNextProp(ckpProp* prop) {
    if (prop == nullptr) {
        return nullptr;
    }
    if (prop->next != nullptr) {
        return prop->next;
    }
    return prop->line != nullptr ? tiFirstPropFrom(prop->line->next) : nullptr;
}

ckpProp* tiFirstPropFrom(const ckpLine* line) {
    for (; line != nullptr; line = line->next) {
        if (line->firstProp != nullptr) {
            return line->firstProp;
        }
    }
    return nullptr;
}

// Asked for every property read: the lookup goes through the record's name
// index, so a record of many properties stays linear.
void tiWarnDupProp(ckpLine* line, const char* name) {
    if (line == nullptr || line->file == nullptr || name == nullptr) {
        return;
    }
    if (tiFindProp(line->file->info, name) != nullptr) {
        tiSetErrorf("duplicate \"%s\" property", name);
    }
}

// A property and its two strings live in one block: a record of many
// properties costs one allocation for each instead of three.
ckpProp* tiAddProp(ckpLine* line, int checkDup, const char* name, const char* value) {
    std::size_t nameSize = name != nullptr ? std::strlen(name) + 1 : 0;
    std::size_t valueSize = value != nullptr ? std::strlen(value) + 1 : 0;
    auto* block = static_cast<char*>(tiAlloc(sizeof(ckpProp) + nameSize + valueSize));
    if (block == nullptr) {
        tiSetError("ckpProp allocation failed");
        return nullptr;
    }
    auto* prop = new (block) ckpProp{};
    char* strings = block + sizeof(ckpProp);
    if (name != nullptr) {
        prop->name = static_cast<char*>(std::memcpy(strings, name, nameSize));
    }
    if (value != nullptr) {
        prop->value = static_cast<char*>(std::memcpy(strings + nameSize, value, valueSize));
    }
    if (line == nullptr) {
        return prop;
    }
    if (checkDup) {
        tiWarnDupProp(line, name);
    }
    prop->line = line;
    if (line->lastProp != nullptr) {
        line->lastProp->next = prop;
    } else {
        line->firstProp = prop;
    }
    line->lastProp = prop;
    tiPropIndexAdd(prop);
    return prop;
}

namespace {
// Generators that would hand out prop next move on to the following one.
void moveGeneratorsPast(ckpProp* prop) {
    if (prop->line == nullptr || prop->line->file == nullptr) {
        return;
    }
    ckpInfo* info = prop->line->file->info;
    if (info == nullptr || info->gens == nullptr || info->genCount < 1) {
        return;
    }
    for (int i = 1; i <= info->genCount; ++i) {
        if (info->gens[i] == prop) {
            info->gens[i] = tiNextProp(prop);
        }
    }
}

void unlinkProp(ckpProp* prop) {
    ckpLine* line = prop->line;
    if (line == nullptr) {
        return;
    }
    ckpProp* before = nullptr;
    if (line->firstProp == prop) {
        line->firstProp = prop->next;
    } else {
        for (before = line->firstProp; before != nullptr && before->next != prop;
             before = before->next) {
        }
        if (before != nullptr) {
            before->next = prop->next;
        }
    }
    if (line->lastProp == prop) {
        line->lastProp = before;
    }
}
} // namespace

int tiFreeProp(ckpProp* prop) {
    if (prop == nullptr) {
        return 0;
    }
    moveGeneratorsPast(prop);
    if (prop->line != nullptr && prop->line->file != nullptr) {
        tiPropIndexForget(prop->line->file->info, prop->line->file);
    }
    unlinkProp(prop);
    tiFree(prop); // the strings live in the same block
    return 0;
}
