// Helpers shared by the fuzz targets: the input as a file on disk, and a
// reporter that swallows every message so that the run stays quiet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "ckp/ckp.h"

namespace ckpfuzz {

void removeScratchDir();

// A per-process scratch directory under the temporary directory ($TMPDIR),
// made once and reused by every input, since every input is a file. It goes
// when the fuzzer exits.
inline const std::string& scratchDir() {
    // Never destroyed, so that the exit handler that removes it can still
    // read its name.
    static const std::string& dir = *new std::string([] {
        std::string templ = (std::filesystem::temp_directory_path() / "ckp-fuzz-XXXXXX").string();
        const char* made = mkdtemp(templ.data());
        if (made == nullptr) {
            std::abort();
        }
        return std::string(made);
    }());
    static const int registered = std::atexit(removeScratchDir);
    (void)registered;
    return dir;
}

inline void removeScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDir(), ignored);
}

inline std::string scratchFile(const char* name) {
    return scratchDir() + "/" + name;
}

inline void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::abort();
    }
    std::fclose(f);
}

// Counts the reports and checks that each is a proper string.
inline int quietReporter(const char* text, void* userdata) {
    if (text == nullptr) {
        std::abort();
    }
    volatile std::size_t n = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        n = n + 1;
    }
    ++*static_cast<long*>(userdata);
    return 1;
}

inline void installQuietReporter() {
    static long reports = 0;
    kvoSetReportHandler(&quietReporter, &reports);
}

// Every read of records below stops after this many calls, so that an input
// that never reaches its end is a finding rather than a hang.
inline constexpr int maxRecords = 200000;

} // namespace ckpfuzz
