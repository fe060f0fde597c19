#include "canonical.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "ckp/kvo.h"
#include "format_error.hpp"

namespace ckptool {
namespace {

[[noreturn]] void fail(const char* what) {
    throw ToolError(std::string("cannot use a scratch file for ") + what + ": " +
                    std::strerror(errno));
}

} // namespace

ScratchStream::ScratchStream(std::FILE* standard) : standard_(standard) {
    if (standard == stdout && std::fflush(stdout) != 0) {
        fail("standard output");
    }
    scratch_ = std::tmpfile();
    if (scratch_ == nullptr) {
        fail("a standard stream");
    }
    saved_ = dup(fileno(standard));
    if (saved_ < 0 || dup2(fileno(scratch_), fileno(standard)) < 0) {
        int errnum = errno;
        restore();
        errno = errnum;
        fail("a standard stream");
    }
    std::clearerr(standard);
}

ScratchStream::~ScratchStream() {
    restore();
}

void ScratchStream::restore() noexcept {
    if (saved_ >= 0) {
        if (standard_ == stdout) {
            std::fflush(stdout);
        }
        dup2(saved_, fileno(standard_));
        close(saved_);
        saved_ = -1;
        std::clearerr(standard_);
    }
    if (scratch_ != nullptr) {
        std::fclose(scratch_);
        scratch_ = nullptr;
    }
}

std::string readStream(std::FILE* stream, const std::string& name) {
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        bytes.append(buffer, n);
    }
    if (std::ferror(stream)) {
        throw ToolError("cannot read " + name + ": " + std::strerror(errno));
    }
    return bytes;
}

MemoryStream::MemoryStream(std::string_view bytes, const std::string& name) {
    int errnum = 0;
    stream_ = kvoOpenMemory(bytes.data(), bytes.size(), &errnum);
    if (stream_ == nullptr) {
        throw ToolError("cannot read " + name + ": " + kvoStrError(errnum));
    }
}

MemoryStream::~MemoryStream() {
    std::fclose(stream_);
}

CanonicalText::CanonicalText() : stdout_(stdout) {
    writer_.emplace(std::string());
}

long CanonicalText::offset() {
    writer_->put();
    if (std::fflush(stdout) != 0) {
        fail("canonical text");
    }
    // Standard output and the scratch stream share one file position.
    auto at = static_cast<long>(lseek(fileno(stdout_.scratch()), 0, SEEK_CUR));
    if (at < 0) {
        fail("canonical text");
    }
    return at;
}

std::string CanonicalText::finish() {
    writer_->close();
    writer_.reset();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fail("canonical text");
    }
    std::rewind(stdout_.scratch());
    std::string text = readStream(stdout_.scratch(), "canonical text");
    stdout_.restore();
    return text;
}

StdinFromBytes::StdinFromBytes(std::string_view bytes) : stdin_(stdin) {
    std::FILE* scratch = stdin_.scratch();
    if (std::fwrite(bytes.data(), 1, bytes.size(), scratch) != bytes.size() ||
        std::fflush(scratch) != 0) {
        fail("standard input");
    }
    std::rewind(scratch);
}

} // namespace ckptool
