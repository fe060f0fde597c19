#include "canonical.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "ckp/ckpx.h"
#include "ckp/kvo.h"
#include "format_error.hpp"

namespace ckptool {
namespace {

// The new text is put together in memory first: its failures are the
// output's.
[[noreturn]] void fail() {
    std::string reason = std::strerror(errno);
    throw OutputWriteError("cannot hold the canonical text: " + reason, reason);
}

// The system's reason at the end of a library message ("... : REASON").
std::string plainReason(const std::string& message) {
    std::size_t colon = message.rfind(": ");
    return colon == std::string::npos ? message : message.substr(colon + 2);
}

[[noreturn]] void failed(const char* operation) {
    throw ckp::Error(operation, ckpGetError());
}

} // namespace

StreamWriter::RecordBuilder& StreamWriter::RecordBuilder::prop(const char* name,
                                                               const char* value) {
    if (ckpPutProp(info_, name, value) == 0) {
        failed("ckpPutProp");
    }
    return *this;
}

StreamWriter::StreamWriter(std::FILE* stream) : info_(ckpxOpenStream(stream, nullptr, "W")) {
    if (info_ == nullptr) {
        failed("ckpxOpenStream");
    }
}

StreamWriter::~StreamWriter() {
    if (info_ != nullptr) {
        ckpClose(info_);
    }
}

StreamWriter::RecordBuilder StreamWriter::begin(int ok, const char* operation) {
    if (ok == 0) {
        failed(operation);
    }
    pending_ = true;
    return RecordBuilder(info_);
}

StreamWriter::RecordBuilder StreamWriter::write_header() {
    put();
    return begin(ckpCreateHdr(info_), "ckpCreateHdr");
}

StreamWriter::RecordBuilder StreamWriter::object(const std::string& path) {
    put();
    return begin(ckpCreateObj(info_, path.c_str()), "ckpCreateObj");
}

void StreamWriter::raw(const std::string& text, bool comment) {
    put();
    begin(ckpRecord(info_, text.c_str(), comment ? 1 : 0), "ckpRecord");
}

StreamWriter::RecordBuilder StreamWriter::transfer(const ckp::Record& record) {
    put();
    return begin(ckpXfer(record.handle(), info_), "ckpXfer");
}

void StreamWriter::put() {
    if (pending_) {
        pending_ = false;
        if (ckpPuts(info_) == 0) {
            std::string reason = plainReason(ckpGetError());
            throw OutputWriteError(reason, reason);
        }
    }
}

void StreamWriter::close() {
    put();
    ckpInfo* info = info_;
    info_ = nullptr;
    if (info != nullptr && ckpClose(info) != 0) {
        std::string reason = plainReason(ckpGetError());
        throw OutputWriteError(reason, reason);
    }
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

namespace {

// The bytes from the stream's position to its end, when the stream can
// tell (a file); 0 for a pipe or terminal.
std::size_t bytesLeft(std::FILE* stream) {
    long at = std::ftell(stream);
    if (at < 0 || std::fseek(stream, 0, SEEK_END) != 0) {
        std::clearerr(stream);
        return 0;
    }
    long end = std::ftell(stream);
    if (std::fseek(stream, at, SEEK_SET) != 0) {
        throw std::system_error(errno, std::generic_category(), "fseek");
    }
    return end > at ? static_cast<std::size_t>(end - at) : 0;
}

} // namespace

std::string readStream(std::FILE* stream, const std::string& name) {
    std::string bytes;
    try {
        // Room for a file's bytes is made once; a pipe's (or a file that
        // grew) grows as they come.
        bytes.reserve(bytesLeft(stream));
    } catch (const std::system_error& e) {
        throw ToolError("cannot read " + name + ": " + std::strerror(e.code().value()));
    }
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

CanonicalText::CanonicalText() {
    int errnum = 0;
    scratch_ = kvoOpenMemoryOutput(&errnum);
    if (scratch_ == nullptr) {
        errno = errnum;
        fail();
    }
    try {
        writer_.emplace(kvoMemoryOutputStream(scratch_));
    } catch (...) {
        kvoCloseMemoryOutput(scratch_, nullptr, nullptr);
        throw;
    }
}

CanonicalText::~CanonicalText() {
    writer_.reset();
    if (scratch_ != nullptr) {
        kvoCloseMemoryOutput(scratch_, nullptr, nullptr);
    }
}

long CanonicalText::offset() {
    // The record goes into the stream, whose position counts it whether or
    // not it has reached the memory yet.
    writer_->put();
    long at = std::ftell(kvoMemoryOutputStream(scratch_));
    if (at < 0) {
        fail();
    }
    return at;
}

std::string CanonicalText::finish() {
    writer_->close();
    writer_.reset();
    kvoMemoryOutput* scratch = scratch_;
    scratch_ = nullptr;
    char* bytes = nullptr;
    std::size_t size = 0;
    int errnum = kvoCloseMemoryOutput(scratch, &bytes, &size);
    if (errnum != 0) {
        errno = errnum;
        fail();
    }
    std::string text;
    try {
        text.assign(bytes, size);
    } catch (...) {
        kvoFree(bytes);
        throw;
    }
    kvoFree(bytes);
    return text;
}

} // namespace ckptool
