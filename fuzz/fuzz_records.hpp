// Records as the fuzz targets compare them: what two reads of equal files
// must agree on (type, path, properties in order), taken from a handle.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ckp/ckp.h"

namespace fuzzrec {

struct Prop {
    std::string name;
    bool flag;
    std::string value;
    bool operator==(const Prop&) const = default;
};

struct Record {
    int type;
    std::string path;
    std::vector<Prop> props;
    bool operator==(const Record&) const = default;
};

// The handle's current record; a header has no path of its own.
inline Record takeRecord(ckpInfo* info, int type) {
    Record out{type, "", {}};
    const char* path = ckpGetObjPath(info);
    out.path = (type == ckpTypeHeader || path == nullptr) ? "" : path;
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(info, &id, &name, &value) == 1) {
        out.props.push_back(Prop{name, value == nullptr, value != nullptr ? value : ""});
    }
    return out;
}

// Whether the record in hand comes from the file opened, not an included one.
inline bool inMainFile(ckpInfo* info) {
    char* current = nullptr;
    char* main = nullptr;
    return ckpGetName(info, 1, &current) == 1 && ckpGetName(info, 0, &main) == 1 &&
           current != nullptr && main != nullptr && std::strcmp(current, main) == 0;
}

// Prints records to stderr, one a line, for explaining a finding.
inline void printRecords(const std::vector<Record>& records) {
    for (const Record& r : records) {
        std::fprintf(stderr, "%d [%s]", r.type, r.path.c_str());
        for (const Prop& p : r.props) {
            std::fprintf(stderr, " %s%s%s", p.name.c_str(), p.flag ? "" : "=", p.value.c_str());
        }
        std::fprintf(stderr, "\n");
    }
}

} // namespace fuzzrec
