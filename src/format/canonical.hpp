// Text in memory on the library's side: canonical text written into a
// stream that grows in memory (no file, so no file size limit applies to
// it) through a handle on that stream, and bytes in memory read as a
// stream.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "ckp/ckp.hpp"
#include "ckp/kvo.h"

namespace ckptool {

// The record writer of a stream that the caller owns: the calls of
// ckp::Writer that canonical text needs, each record put when the next one
// begins. Failures throw ckp::Error.
class StreamWriter {
  public:
    // The record being built; its properties are added in order.
    class RecordBuilder {
      public:
        RecordBuilder& prop(const char* name, const char* value);
        RecordBuilder& prop(const std::string& name, const std::string& value) {
            return prop(name.c_str(), value.c_str());
        }
        RecordBuilder& flag(const char* name) { return prop(name, nullptr); }

      private:
        friend class StreamWriter;
        explicit RecordBuilder(ckpInfo* info) : info_(info) {}
        ckpInfo* info_;
    };

    explicit StreamWriter(std::FILE* stream);
    ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    RecordBuilder write_header();
    RecordBuilder object(const std::string& path);
    // A raw record: a comment (";" added) or a record text as it stands.
    void raw(const std::string& text, bool comment);
    // A copy of a record read elsewhere.
    RecordBuilder transfer(const ckp::Record& record);
    // Writes the record begun, if any, and flushes the stream.
    void put();
    // Puts the last record and ends the handle; the stream stays open.
    void close();
    ckpInfo* handle() const { return info_; }

  private:
    RecordBuilder begin(int ok, const char* operation);
    ckpInfo* info_;
    bool pending_ = false;
};

// A writer whose output is kept in memory.
class CanonicalText {
  public:
    CanonicalText();
    ~CanonicalText();
    CanonicalText(const CanonicalText&) = delete;
    CanonicalText& operator=(const CanonicalText&) = delete;
    // The writer whose records are captured (valid until finish()).
    StreamWriter& writer() { return *writer_; }
    // The number of bytes written so far, the record begun included.
    long offset();
    // Closes the writer and returns the text.
    std::string finish();

  private:
    kvoMemoryOutput* scratch_;
    std::optional<StreamWriter> writer_;
};

// A read stream over bytes in memory, closed with the object.
class MemoryStream {
  public:
    // Throws ToolError naming `name` when the stream cannot be made.
    MemoryStream(std::string_view bytes, const std::string& name);
    ~MemoryStream();
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    std::FILE* stream() const { return stream_; }

  private:
    std::FILE* stream_;
};

// Everything a stream gives up to its end; throws ToolError naming `name`.
std::string readStream(std::FILE* stream, const std::string& name);

} // namespace ckptool
