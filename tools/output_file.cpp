#include "output_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "commands.hpp"

namespace ckptool {
namespace fs = std::filesystem;

namespace {

// Creates an empty file of a name nobody else holds ("x": never an existing
// file), so that the writer then only truncates it.
std::string makeUniqueFile(const std::string& stem) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + ".ckp-" + std::to_string(random() % 1000000000u) + ".tmp";
        std::FILE* file = std::fopen(name.c_str(), "wx");
        if (file != nullptr) {
            std::fclose(file);
            return name;
        }
        if (errno != EEXIST) {
            throw ToolError("cannot create a file beside " + stem + ": " + std::strerror(errno));
        }
    }
    throw ToolError("cannot create a temporary file beside " + stem);
}

} // namespace

AtomicOutput::AtomicOutput(const std::string& target) : target_(target) {
    if (target.empty()) {
        std::error_code ec;
        fs::path dir = fs::temp_directory_path(ec);
        temp_ = makeUniqueFile(((ec ? fs::path(".") : dir) / "ckp").string());
    } else {
        temp_ = makeUniqueFile(target);
    }
}

AtomicOutput::~AtomicOutput() {
    if (!done_) {
        std::remove(temp_.c_str());
    }
}

void AtomicOutput::commit() {
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) {
        throw ToolError("cannot write " + target_ + ": " + ec.message());
    }
    done_ = true;
}

std::string readWholeFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    }
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, n);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        throw ToolError("cannot read " + path);
    }
    return bytes;
}

} // namespace ckptool
