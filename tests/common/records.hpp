// Records as a reader sees them, for comparing what was written with what
// reads back.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct ckpInfo;

namespace ckptest {

// A record's type, its path (a comment's text) and its properties in order,
// each as "name=value|" or, a flag, "name|".
struct Record {
    int type;
    std::string path;
    std::string props;
    bool operator==(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Record& r);

// The reading handle's current record.
Record current(ckpInfo* reader);

// Every record of the file, the header first, up to its end.
std::vector<Record> records(const std::string& path);

// A setup entry's properties as ckpSetupGetAllProps hands them out, in the
// same form as a record's; "(failed)" when it fails.
std::string setupProps(const char* setup, const char* entry);

} // namespace ckptest
