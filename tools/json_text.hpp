// JSON text written straight into a buffer of its own: the command's
// records are composed there without building a document first.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace ckptool {

// A growing byte buffer written through a pointer: a writer asks for room
// for the most it may write, writes, and commits where it ended, so that
// a byte costs no check of its own.
class JsonBuffer {
  public:
    // Room for `n` more bytes; returns where they go.
    char* room(std::size_t n) {
        if (n > capacity_ - size_) {
            grow(n);
        }
        return data_.get() + size_;
    }
    void commit(char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

    void append(std::string_view bytes) {
        char* to = room(bytes.size());
        std::memcpy(to, bytes.data(), bytes.size());
        size_ += bytes.size();
    }
    void append(char c) {
        *room(1) = c;
        ++size_;
    }

    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

  private:
    void grow(std::size_t n);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Appends `text` as a JSON string. Quotes, backslashes and control
// characters are escaped (\b \t \n \f \r by name, the others as \u00xx);
// every other byte is copied, except that bytes which do not form UTF-8
// become U+FFFD: one for each byte that begins no character, and one for
// each beginning of a character cut short (the byte that cut it is read
// again on its own).
void appendJsonString(JsonBuffer& out, std::string_view text);

// Appends a decimal integer.
void appendJsonInteger(JsonBuffer& out, long long value);

// One JSON object written field by field; the caller writes each value
// right after its key.
class JsonObject {
  public:
    explicit JsonObject(JsonBuffer& out) : out_(out) { out_.append('{'); }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    // Writes `"name":` (after a comma from the second field on) and returns
    // the buffer to write the value into.
    JsonBuffer& key(std::string_view name) {
        out_.append(first_ ? std::string_view("\"") : std::string_view(",\""));
        first_ = false;
        out_.append(name);
        out_.append("\":");
        return out_;
    }
    void close() { out_.append('}'); }

  private:
    JsonBuffer& out_;
    bool first_ = true;
};

} // namespace ckptool
