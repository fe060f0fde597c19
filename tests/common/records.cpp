#include "common/records.hpp"

#include "ckp/ckp.h"
#include "core/types.hpp"

namespace ckptest {

std::ostream& operator<<(std::ostream& os, const Record& r) {
    return os << r.type << " [" << r.path << "] " << r.props;
}

Record current(ckpInfo* reader) {
    Record rec{ckpGetType(reader), "", ""};
    if (rec.type == ckpTypeComment) {
        rec.path = reader->files.top->firstLine->text;
        return rec;
    }
    if (rec.type != ckpTypeHeader && ckpGetObjPath(reader) != nullptr) {
        rec.path = ckpGetObjPath(reader);
    }
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(reader, &id, &name, &value)) {
        rec.props += std::string(name) + (value != nullptr ? "=" + std::string(value) : "") + "|";
    }
    return rec;
}

std::vector<Record> records(const std::string& path) {
    std::vector<Record> all;
    ckpInfo* reader = ckpOpen(path.c_str(), "R");
    if (reader == nullptr) {
        return all;
    }
    ckpSetRootsAreOK(reader, 1); // a leading backslash roots a path on Windows
    while (all.size() < 100000 && ckpGets(reader) && ckpGetType(reader) != ckpTypeEnd) {
        all.push_back(current(reader));
    }
    ckpClose(reader);
    return all;
}

} // namespace ckptest
