#include "json_input.hpp"

#include <cstdlib>

#include "commands.hpp"

namespace ckptool {
namespace {

// A recursive-descent reader of RFC 8259 JSON over bytes.
class JsonParser {
  public:
    JsonParser(std::string_view text, const std::string& name) : text_(text), name_(name) {}

    bool atEnd() {
        skipBlanks();
        return at_ == text_.size();
    }

    nlohmann::json value(int depth = 0) {
        if (depth > maxDepth) {
            fail("nested too deeply");
        }
        skipBlanks();
        char c = peek();
        if (c == '{') {
            return object(depth);
        }
        if (c == '[') {
            return array(depth);
        }
        if (c == '"') {
            return string();
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            return number();
        }
        return literal();
    }

  private:
    static constexpr int maxDepth = 64;

    [[noreturn]] void fail(const std::string& what) const {
        long line = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            line += text_[i] == '\n' ? 1 : 0;
        }
        throw ToolError(name_ + ":" + std::to_string(line) + ": not the JSON of ckp json: " + what);
    }

    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    void expect(char c) {
        skipBlanks();
        if (peek() != c) {
            fail(std::string("expected '") + c + "'");
        }
        ++at_;
    }

    nlohmann::json object(int depth) {
        nlohmann::json out = nlohmann::json::object();
        expect('{');
        skipBlanks();
        if (peek() == '}') {
            ++at_;
            return out;
        }
        for (;;) {
            skipBlanks();
            if (peek() != '"') {
                fail("expected a name");
            }
            std::string key = string();
            expect(':');
            out[key] = value(depth + 1);
            skipBlanks();
            if (peek() == '}') {
                ++at_;
                return out;
            }
            expect(',');
        }
    }

    nlohmann::json array(int depth) {
        nlohmann::json out = nlohmann::json::array();
        expect('[');
        skipBlanks();
        if (peek() == ']') {
            ++at_;
            return out;
        }
        for (;;) {
            out.push_back(value(depth + 1));
            skipBlanks();
            if (peek() == ']') {
                ++at_;
                return out;
            }
            expect(',');
        }
    }

    unsigned hex4() {
        if (at_ + 4 > text_.size()) {
            fail("a \\u escape cut short");
        }
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text_[at_++];
            unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                             : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                             : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                    : 16;
            if (digit == 16) {
                fail("a \\u escape with a character that is no hex digit");
            }
            code = code * 16 + digit;
        }
        return code;
    }

    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // A \u escape: a character, a surrogate pair, or a byte of the file
    // (\udc80 to \udcff).
    void unicodeEscape(std::string& out) {
        unsigned code = hex4();
        if (code >= 0xDC80 && code <= 0xDCFF) {
            out += static_cast<char>(code - 0xDC00);
            return;
        }
        if (code >= 0xD800 && code <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
            at_ += 2;
            unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) {
                fail("a high surrogate without its low one");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            fail("a lone surrogate that stands for no byte");
        }
        appendUtf8(out, code);
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (at_ >= text_.size()) {
                fail("a string without its closing quote");
            }
            char c = text_[at_++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                fail("a control character in a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            char e = peek();
            ++at_;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                unicodeEscape(out);
                break;
            default:
                fail("an unknown escape");
            }
        }
    }

    nlohmann::json number() {
        std::size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("+-.eE0123456789").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
        std::string digits(text_.substr(start, at_ - start));
        char* end = nullptr;
        long long whole = std::strtoll(digits.c_str(), &end, 10);
        if (end != nullptr && *end == '\0') {
            return whole;
        }
        double real = std::strtod(digits.c_str(), &end);
        if (end == nullptr || *end != '\0') {
            fail("a malformed number");
        }
        return real;
    }

    nlohmann::json literal() {
        for (auto [word, value] : {std::pair<std::string_view, nlohmann::json>{"null", nullptr},
                                   {"true", true},
                                   {"false", false}}) {
            if (text_.substr(at_, word.size()) == word) {
                at_ += word.size();
                return value;
            }
        }
        fail("expected a value");
    }

    std::string_view text_;
    const std::string& name_;
    std::size_t at_ = 0;
};

} // namespace

std::vector<nlohmann::json> readJsonValues(std::string_view text, const std::string& name) {
    JsonParser parser(text, name);
    std::vector<nlohmann::json> values;
    while (!parser.atEnd()) {
        values.push_back(parser.value());
    }
    if (values.size() == 1 && values[0].is_array()) {
        std::vector<nlohmann::json> elements(values[0].begin(), values[0].end());
        return elements;
    }
    return values;
}

} // namespace ckptool
