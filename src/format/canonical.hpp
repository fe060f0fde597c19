// Text in memory on the library's side. The library's reader and writer take
// a file name or a standard stream only; to write canonical text into memory,
// or to read bytes already in memory, the command points its standard
// output or input for a while at an anonymous scratch file (std::tmpfile: no
// name, readable by its owner only, gone when closed or when the process
// ends).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "ckp/ckp.hpp"

namespace ckptool {

// A standard stream's descriptor pointed at an anonymous scratch file while
// the object lives.
class ScratchStream {
  public:
    explicit ScratchStream(std::FILE* standard);
    ~ScratchStream();
    ScratchStream(const ScratchStream&) = delete;
    ScratchStream& operator=(const ScratchStream&) = delete;

    std::FILE* scratch() const { return scratch_; }
    // Puts the standard stream back (once; the destructor does it too).
    void restore() noexcept;

  private:
    std::FILE* standard_;
    std::FILE* scratch_ = nullptr;
    int saved_ = -1;
};

// A writer whose output is kept in memory.
class CanonicalText {
  public:
    CanonicalText();
    // The writer whose records are captured (valid until finish()).
    ckp::Writer& writer() { return *writer_; }
    // The number of bytes written so far, the record begun included.
    long offset();
    // Closes the writer, puts standard output back and returns the text.
    std::string finish();

  private:
    ScratchStream stdout_;
    std::optional<ckp::Writer> writer_;
};

// Standard input reading the given bytes while the object lives.
class StdinFromBytes {
  public:
    explicit StdinFromBytes(std::string_view bytes);

  private:
    ScratchStream stdin_;
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
