// JSON text written straight into a string: the command's records are
// composed here without building a document first.
#pragma once

#include <string>
#include <string_view>

namespace ckptool {

// Appends `text` as a JSON string. Quotes, backslashes and control
// characters are escaped (\b \t \n \f \r by name, the others as \u00xx);
// every other byte is copied, except that bytes which do not form UTF-8
// become U+FFFD: one for each byte that begins no character, and one for
// each beginning of a character cut short (the byte that cut it is read
// again on its own).
void appendJsonString(std::string& out, std::string_view text);

// Appends a decimal integer.
void appendJsonInteger(std::string& out, long long value);

// One JSON object written field by field; the caller writes each value
// right after its key.
class JsonObject {
  public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    // Writes `"name":` (after a comma from the second field on) and returns
    // the string to write the value into.
    std::string& key(std::string_view name) {
        out_ += first_ ? "\"" : ",\"";
        first_ = false;
        out_ += name;
        out_ += "\":";
        return out_;
    }
    void close() { out_ += '}'; }

  private:
    std::string& out_;
    bool first_ = true;
};

} // namespace ckptool
