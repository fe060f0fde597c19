// ckp from-json: the records that `ckp json` printed, written back as the
// checkpoint file they were read from. The records of included files are
// left out (they are in files of their own), so that
// `ckp json f | ckp from-json` gives f back for a file in canonical form.
#include <cstdio>
#include <optional>
#include <string>

#include "canonical.hpp"
#include "ckp/ckp.hpp"
#include "commands.hpp"
#include "json_input.hpp"
#include "output.hpp"
#include "source_lines.hpp"

namespace ckptool {
namespace {

using Json = nlohmann::json;

std::string field(const Json& record, const char* name) {
    auto it = record.find(name);
    return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A value with its escapes, as the writer writes it.
std::string escapedValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '"' || c == ';' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// A record of no kind (an empty path), which the writer refuses, is written
// as the reader reads it: the path quoted, the properties after it.
std::string recordText(const std::string& path, const Json& props) {
    std::string text = "\"";
    // Appended piece by piece: GCC 12 warns of an overlap that cannot
    // happen in `"literal" + std::string` (-Wrestrict).
    for (char c : path) {
        text.append(c == '"' ? "\\\"" : std::string(1, c));
    }
    text += '"';
    for (const Json& prop : props) {
        text.append(" ").append(prop[0].get<std::string>());
        if (!prop[1].is_null()) {
            text.append("=\"").append(escapedValue(prop[1].get<std::string>())).append("\"");
        }
    }
    return text;
}

class FileWriter {
  public:
    FileWriter(const std::string& input, const std::string& output)
        : input_(input), writer_(isStdout(output) ? std::string() : output) {}

    void write(const Json& record, std::size_t index) {
        if (!record.is_object() || !record.contains("type") || !record.contains("props") ||
            !record["props"].is_array()) {
            fail(index, "not a record of ckp json");
        }
        std::string type = field(record, "type");
        if (depth_ > 0) {
            skipIncluded(type);
            return;
        }
        writeOwn(type, record, index);
    }

    void close() { writer_.close(); }

  private:
    [[noreturn]] void fail(std::size_t index, const std::string& what) const {
        throw ToolError(input_ + ": record " + std::to_string(index + 1) + ": " + what);
    }

    // The records from an include's header to its endinclude, nested ones
    // counted.
    void skipIncluded(const std::string& type) {
        if (type == "include") {
            ++depth_;
        } else if (type == "endinclude") {
            --depth_;
        }
    }

    void writeProps(ckp::Writer::RecordBuilder& builder, const Json& props) {
        for (const Json& prop : props) {
            const Json& value = prop[1];
            builder.prop(prop[0].get<std::string>().c_str(),
                         value.is_null() ? nullptr : value.get_ref<const std::string&>().c_str());
        }
    }

    void writeOwn(const std::string& type, const Json& record, std::size_t index) {
        const Json& props = record["props"];
        for (const Json& prop : props) {
            if (!prop.is_array() || prop.size() != 2 || !prop[0].is_string() ||
                !(prop[1].is_string() || prop[1].is_null())) {
                fail(index, "a property is not [name, value]");
            }
        }
        if (type == "header") {
            if (headers_++ > 0) {
                fail(index, "a second file begins here; give from-json one file's records");
            }
            ckp::Writer::RecordBuilder header = writer_.write_header();
            writeProps(header, props);
        } else if (type == "comment") {
            writer_.raw(field(record, "text"), false);
        } else if (type == "endinclude") {
            fail(index, "an endinclude without its include");
        } else if (type == "syntax") {
            fail(index, "a syntax error (" + field(record, "error") + ") cannot be written back");
        } else {
            writeData(type, record, props, index);
        }
    }

    void writeData(const std::string& type, const Json& record, const Json& props,
                   std::size_t index) {
        if (type != "object" && type != "configpath" && type != "subdir" && type != "include" &&
            type != "none") {
            fail(index, "unknown record type \"" + type + "\"");
        }
        std::string path = field(record, "path");
        for (const Json& prop : props) {
            if (prop[0].get_ref<const std::string&>().empty() && prop[1].is_null()) {
                fail(index, "a flag without a name cannot be written back");
            }
        }
        if (path.empty()) {
            writer_.raw(recordText(path, props), false);
        } else {
            ckp::Writer::RecordBuilder builder = writer_.object(path);
            writeProps(builder, props);
        }
        if (type == "include") {
            depth_ = 1;
        }
    }

    std::string input_;
    ckp::Writer writer_;
    int depth_ = 0;
    int headers_ = 0;
};

} // namespace

int runFromJson(const FromJsonOptions& options) {
    std::string name = isStdout(options.input) ? "stdin" : options.input;
    std::string text;
    if (isStdout(options.input)) {
        text = readStream(stdin, name);
    } else {
        text = readWholeFile(options.input);
    }
    std::vector<nlohmann::json> records = readJsonValues(text, name);
    FileWriter out(name, options.output);
    for (std::size_t i = 0; i < records.size(); ++i) {
        out.write(records[i], i);
    }
    out.close();
    return exitOk;
}

} // namespace ckptool
