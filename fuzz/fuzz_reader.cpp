// Fuzz target: the input is a checkpoint file. It is opened and read to its
// end with every query, both generators and the diagnostics exercised on each
// record; every syntax error is shown with ckpSyntax. Then the placement
// oracle: the records must not depend on where the input's lines stand.
#include <cstring>

#include "fuzz_common.hpp"
#include "placement_oracle.hpp"

namespace {

void checkString(const char* text) {
    if (text != nullptr && std::strlen(text) > 100000) {
        std::abort();
    }
}

// Walks the properties with two interleaved generators and checks that both
// see the same sequence, and that ckpGetProp finds the first occurrence.
void walkProperties(ckpInfo* info) {
    int a = 0;
    int b = 0;
    char* nameA = nullptr;
    char* valueA = nullptr;
    char* nameB = nullptr;
    char* valueB = nullptr;
    int count = 0;
    for (;;) {
        int gotA = ckpGenProp(info, &a, &nameA, &valueA);
        int gotB = ckpGenProp(info, &b, &nameB, &valueB);
        if (gotA != gotB) {
            std::abort();
        }
        if (gotA == 0) {
            if (a != 0 || b != 0) {
                std::abort();
            }
            break;
        }
        if (nameA == nullptr || nameB == nullptr || std::strcmp(nameA, nameB) != 0 ||
            (valueA == nullptr) != (valueB == nullptr) ||
            (valueA != nullptr && std::strcmp(valueA, valueB) != 0)) {
            std::abort();
        }
        checkString(nameA);
        checkString(valueA);
        if (nameA[0] != '\0') {
            char* found = nullptr;
            if (ckpGetProp(info, nameA, &found) != 1) {
                std::abort();
            }
            checkString(found);
        }
        if (++count > ckpfuzz::maxRecords) {
            std::abort();
        }
    }
    // An id past the live generators is refused.
    int bad = 1000000;
    if (ckpGenProp(info, &bad, nullptr, nullptr) != 0) {
        std::abort();
    }
    char* none = nullptr;
    if (ckpGetProp(info, "", &none) != 0 || none != nullptr) {
        std::abort();
    }
    (void)ckpGetProp(info, "WRXv", &none);
}

void queryRecord(ckpInfo* info, int type, bool ignoreTwins) {
    checkString(ckpGetObjPath(info));
    checkString(ckpGetConfigPath(info));
    checkString(ckpGetSubDir(info));
    char* name = nullptr;
    (void)ckpGetName(info, 1, &name);
    checkString(name);
    (void)ckpGetName(info, 0, &name);
    int syntax = -9;
    (void)ckpGetSyntax(info, nullptr, &syntax);
    walkProperties(info);
    if (type == ckpTypeSyntax) {
        ckpSyntax(info);
    }
    if (type == ckpTypeObject || type == ckpTypeHeader) {
        (void)ckpReport(info, nullptr, 1, -1, "fuzz", "record");
    }
    if (ignoreTwins && (type == ckpTypeConfigPath || type == ckpTypeSubDir)) {
        (void)ckpSetIgnore(info);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ckpfuzz::installQuietReporter();
    std::string path = ckpfuzz::scratchFile("main.ckpt");
    ckpfuzz::writeBytes(path, data, size);
    // The same bytes as an include target, one directory down.
    static bool subMade = false;
    if (!subMade) {
        std::string sub = ckpfuzz::scratchDir() + "/sub";
        (void)mkdir(sub.c_str(), 0700);
        subMade = true;
    }
    ckpfuzz::writeBytes(ckpfuzz::scratchFile("sub/other.ckpt"), data, size);

    ckpInfo* info = ckpOpen(path.c_str(), "R");
    if (info == nullptr) {
        (void)ckpGetError();
        (void)ckpGetNumError();
        return 0;
    }
    // A few settings taken from the input's size, so that the corpus reaches
    // them without a framing format of its own.
    ckpSetRootsAreOK(info, static_cast<int>(size & 1));
    const bool ignoreTwins = (size & 2) != 0;
    if ((size % 7) == 3) {
        (void)ckpSetScan(info, 0, ckpTypeSubDir, nullptr);
    }
    int records = 0;
    for (;;) {
        int got = ckpGets(info);
        int type = ckpGetType(info);
        if (got == 0) {
            if (type != ckpTypeEnd) {
                std::abort();
            }
            break;
        }
        if (type == ckpTypeEnd || type == ckpTypeError) {
            break;
        }
        queryRecord(info, type, ignoreTwins);
        if (++records > ckpfuzz::maxRecords) {
            std::abort(); // the reader does not come to an end
        }
    }
    // Reading on after the end, and a rewinding scan for the first object.
    (void)ckpGets(info);
    if (ckpSetScan(info, 1, ckpTypeObject, nullptr) == 1) {
        (void)ckpGets(info);
        queryRecord(info, ckpGetType(info), false);
    }
    (void)ckpGetError();
    (void)ckpGetNumError();
    if (ckpClose(info) != 0) {
        std::abort();
    }
    ckpfuzz::checkPlacement(path, std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
