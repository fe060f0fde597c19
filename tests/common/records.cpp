#include "common/records.hpp"

#include "ckp/ckp.h"
#include "ckp/kvo.h"
#include "common/testutil.hpp"

namespace ckptest {

namespace {
// A comment's text as the library reports it: the record's line, printed
// ahead of the report line.
std::string commentText(ckpInfo* reader) {
    ReportCapture capture;
    ckpReport(reader, nullptr, 0, -1, "", "");
    std::string all = capture.joined();
    std::size_t report = all.rfind("\n on line ");
    std::string line = report == std::string::npos ? std::string() : all.substr(0, report);
    if (!line.empty() && line.back() == '\n') { // a blank line is reported as a line end
        line.pop_back();
    }
    return line;
}
} // namespace

std::ostream& operator<<(std::ostream& os, const Record& r) {
    return os << r.type << " [" << r.path << "] " << r.props;
}

Record current(ckpInfo* reader) {
    Record rec{ckpGetType(reader), "", ""};
    if (rec.type == ckpTypeComment) {
        rec.path = commentText(reader);
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

std::string setupProps(const char* setup, const char* entry) {
    char** names = nullptr;
    char** values = nullptr;
    if (ckpSetupGetAllProps(setup, entry, &names, &values) != 1) {
        return "(failed)";
    }
    std::string props;
    for (int i = 0; names[i] != nullptr; ++i) {
        props += std::string(names[i]) +
                 (values[i] != nullptr ? "=" + std::string(values[i]) : "") + "|";
        kvoFree(names[i]);
        kvoFree(values[i]);
    }
    kvoFree(names);
    kvoFree(values);
    return props;
}

} // namespace ckptest
