#include "setup_find.hpp"

#include <algorithm>
#include <cstring>

#include "ckp/ckp.hpp"

namespace ckptool {
namespace {

// The record's properties as the store keeps them; false when one has no
// name, which the load drops with a warning.
bool storedProps(ckpInfo* handle, SetupProps& props) {
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(handle, &id, &name, &value) != 0) {
        if (name == nullptr || name[0] == '\0') {
            return false;
        }
        props.emplace_back(name,
                           value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    std::stable_sort(props.begin(), props.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    props.erase(std::unique(props.begin(), props.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                props.end());
    return true;
}

int order(const char* a, const char* b) {
    int c = std::strcmp(a, b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The records after the header, as the load reads them: false at the first
// one that the load would refuse or report, or a name that breaks the run.
bool readEntries(ckpInfo* handle, const std::string& entry, FoundEntry& found) {
    std::string previous;
    int run = 0;
    bool first = true;
    for (;;) {
        ckpGets(handle);
        int type = ckpGetType(handle);
        if (type == ckpTypeEnd) {
            return true;
        }
        if (type == ckpTypeError || type == ckpTypeSyntax || type == ckpTypeHeader) {
            return false;
        }
        if (type != ckpTypeObject) {
            continue;
        }
        const char* path = ckpGetObjPath(handle);
        if (path == nullptr || path[0] == '\0') {
            return false;
        }
        if (!first) {
            int c = order(path, previous.c_str());
            if (c == 0 || (run != 0 && c != run)) {
                return false;
            }
            run = c;
        }
        first = false;
        previous.assign(path);
        if (entry == path && !storedProps(handle, found.props.emplace())) {
            return false;
        }
    }
}

} // namespace

FoundEntry findEntry(const std::string& file, const std::string& entry) {
    // Any report would be part of what a load says: then the load answers.
    ckp::detail::ReportCapture capture;
    FoundEntry found;
    ckpInfo* handle = ckpOpen(file.c_str(), "R");
    if (handle == nullptr) {
        return found;
    }
    ckpSetRootsAreOK(handle, 1);
    ckpGets(handle);
    bool read = ckpGetType(handle) == ckpTypeHeader && readEntries(handle, entry, found);
    bool closed = ckpClose(handle) == 0;
    found.sure = read && closed && capture.texts().empty();
    return found;
}

} // namespace ckptool
