// Fuzz target: the input is a setup file. A setup that loads is saved to a
// second file, cleared, and loaded back from that file. Every save that
// succeeds must load back with the same entries and the same properties; a
// setup of plain names and values (no backslash, leading double quote or
// carriage return in an entry name, no nameless flag, lines well within the
// reader's 510 characters) must also save.
#include <cstring>
#include <map>
#include <vector>

#include "fuzz_common.hpp"

namespace {

using Props = std::vector<std::pair<std::string, std::pair<bool, std::string>>>;
using Setup = std::map<std::string, Props>;

// Takes the setup out of the store; false when some part of it cannot be
// expected to come back unchanged.
bool snapshot(const char* name, Setup& out) {
    out.clear();
    bool ok = true;
    kvoStrlist* entries = ckpSetupGetEntryList(name);
    for (kvoStrlist* e = entries; e != nullptr && *e != nullptr; ++e) {
        std::string entry = *e;
        ok = ok && entry.find_first_of("\\\r") == std::string::npos && entry[0] != '"';
        std::size_t length = entry.size() + 2;
        char** names = nullptr;
        char** values = nullptr;
        Props props;
        if (ckpSetupGetAllProps(name, *e, &names, &values) == 1) {
            for (int i = 0; names != nullptr && names[i] != nullptr; ++i) {
                const char* v = values[i];
                props.push_back({names[i], {v == nullptr, v != nullptr ? v : ""}});
                ok = ok && (v == nullptr || std::strchr(v, '\\') == nullptr) &&
                     (v != nullptr || names[i][0] != '\0'); // a nameless flag is a blank
                length += 1 + std::strlen(names[i]) + (v ? 3 + 2 * std::strlen(v) : 0);
                std::free(names[i]);
                std::free(values[i]);
            }
            std::free(names);
            std::free(values);
        }
        ok = ok && length < 480;
        out[entry] = props;
    }
    kvoFreeStrlist(entries);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ckpfuzz::installQuietReporter();
    std::string path = ckpfuzz::scratchFile("setup.ckpt");
    std::string copy = ckpfuzz::scratchFile("copy.ckpt");
    ckpfuzz::writeBytes(path, data, size);
    std::remove(copy.c_str());

    if (ckpSetupLoad(path.c_str()) != 1) {
        if (ckpSetupClear(path.c_str()) != 0) {
            std::abort(); // a failed load leaves nothing behind
        }
        return 0;
    }
    Setup first;
    bool exact = snapshot(path.c_str(), first);
    int saved = ckpSetupSave(path.c_str(), copy.c_str());
    if (ckpSetupClear(path.c_str()) != 1) {
        std::abort();
    }
    if (saved != 1) {
        if (exact) {
            std::abort(); // every name and value was writable
        }
        return 0;
    }
    if (ckpSetupLoad(copy.c_str()) != 1) {
        std::abort();
    }
    Setup second;
    (void)snapshot(copy.c_str(), second);
    if (ckpSetupClear(copy.c_str()) != 1 || second != first) {
        std::abort();
    }
    (void)ckpGetNumError();
    return 0;
}
