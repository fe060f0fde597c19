// ckp json: the records of files as JSON, one object per record.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "ckp/ckp.hpp"
#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "json_text.hpp"
#include "output.hpp"

namespace ckptool {
namespace {

const char* typeName(ckp::Type type) {
    switch (type) {
    case ckp::Type::None:
        return "none";
    case ckp::Type::Comment:
        return "comment";
    case ckp::Type::Error:
        return "error";
    case ckp::Type::Syntax:
        return "syntax";
    case ckp::Type::Header:
        return "header";
    case ckp::Type::Include:
        return "include";
    case ckp::Type::Object:
        return "object";
    case ckp::Type::ConfigPath:
        return "configpath";
    case ckp::Type::SubDir:
        return "subdir";
    case ckp::Type::EndInclude:
        return "endinclude";
    case ckp::Type::End:
        return "end";
    }
    return "unknown";
}

// Records that name a path; the others leave the last path on the handle.
bool hasPath(ckp::Type type) {
    return type == ckp::Type::None || type == ckp::Type::Object || type == ckp::Type::Include ||
           type == ckp::Type::ConfigPath || type == ckp::Type::SubDir || type == ckp::Type::Syntax;
}

// A comment's text as the library reports it, caught from its reporter:
// the record's first line printed ahead of its place. The texts are kept as
// a stream would hold them, each with its line end; the buffer is reused
// from record to record.
class CommentReport {
  public:
    void take(ckpInfo* info) {
        all_.clear();
        kvoReportHandler previous = nullptr;
        void* previousData = nullptr;
        kvoGetReportHandler(&previous, &previousData);
        kvoSetReportHandler(&CommentReport::collect, this);
        ckpReport(info, nullptr, 0, -1, "", "");
        kvoSetReportHandler(previous, previousData);
    }

    // The record's line: what comes before the report line, without its
    // line end.
    std::string_view text() const {
        std::string_view all(all_);
        std::size_t report = all.rfind("\n on line ");
        if (report == std::string_view::npos) {
            return {};
        }
        std::string_view line = all.substr(0, report);
        if (!line.empty() && line.back() == '\n') {
            line.remove_suffix(1);
        }
        return line;
    }

  private:
    static int collect(const char* text, void* self) {
        auto* report = static_cast<CommentReport*>(self);
        try {
            report->all_ += text != nullptr ? text : "";
            report->all_ += '\n';
            return 1;
        } catch (...) { // no exception may unwind through the C library
            return 0;
        }
    }

    std::string all_;
};

int syntaxVersion(const ckp::Record& record) {
    int version = -1;
    ckpGetSyntax(record.handle(), nullptr, &version);
    return version;
}

void appendProps(JsonBuffer& out, const ckp::Record& record) {
    out.append('[');
    bool first = true;
    for (const ckp::Property& p : record.props()) {
        out.append(first ? std::string_view("[") : std::string_view(",["));
        first = false;
        appendJsonString(out, p.name);
        out.append(',');
        if (p.has_value) {
            appendJsonString(out, p.value);
        } else {
            out.append("null");
        }
        out.append(']');
    }
    out.append(']');
}

// One record as a JSON object, its fields in the order of their names.
// `file` is the record's file as a JSON string, `error` is set for a syntax
// record, `comment` holds a comment's report.
void appendRecord(JsonBuffer& out, const ckp::Record& record, const ckp::Place& place,
                  std::string_view file, const ckp::SyntaxError* error,
                  const CommentReport& comment) {
    ckp::Type type = record.type();
    JsonObject object(out);
    if (error != nullptr) {
        appendJsonInteger(object.key("column"), characterColumn(error->text, error->column));
    }
    appendJsonInteger(object.key("end_line"), place.end_line);
    if (error != nullptr) {
        appendJsonString(object.key("error"), error->message);
    }
    if (error != nullptr) {
        // The line that holds the fault, which a continued record may have
        // after its first.
        appendJsonInteger(object.key("error_line"), error->line);
    }
    object.key("file").append(file);
    appendJsonInteger(object.key("line"), place.line);
    if (hasPath(type)) {
        appendJsonString(object.key("path"), record.path());
    }
    appendProps(object.key("props"), record);
    if (type == ckp::Type::Comment) {
        // A comment's line as the reader holds it.
        appendJsonString(object.key("text"), comment.text());
    }
    appendJsonString(object.key("type"), typeName(type));
    if (type == ckp::Type::Header) {
        appendJsonInteger(object.key("version"), syntaxVersion(record));
    }
    object.close();
}

// Standard output in large pieces: records are composed in one buffer,
// which goes to stdio whenever it has grown past a block.
class JsonOutput {
  public:
    JsonBuffer& text() { return text_; }

    // Called after each record.
    void recordDone() {
        if (text_.size() >= block) {
            flush();
        }
    }

    void flush() {
        if (text_.size() > 0) {
            std::fwrite(text_.data(), 1, text_.size(), stdout);
            text_.clear();
        }
        checkStdout();
    }

  private:
    static constexpr std::size_t block = 64 * 1024;
    JsonBuffer text_;
};

// The records of one file, one object a line or, for --array, as elements
// of the one array that runJson opened (the same bytes as the whole array
// at once, but never held in memory). `first` tells whether an element has
// been printed yet; `failed` is set when a syntax record tells of a
// resource failure.
class JsonFile {
  public:
    JsonFile(JsonOutput& output, bool array, bool& first, bool& failed)
        : output_(output), array_(array), first_(first), failed_(failed) {}

    // Prints the records of `file`; returns the number of syntax errors.
    long print(const std::string& file) {
        ckp::Reader reader(isStdout(file) ? std::string() : file);
        while (reader.next_record()) {
            printRecord(reader.record(), reader.place());
        }
        return errors_;
    }

  private:
    void printRecord(const ckp::Record& record, const ckp::Place& place) {
        ckp::Type type = record.type();
        if (type == ckp::Type::Comment) {
            comment_.take(record.handle());
        }
        std::optional<ckp::SyntaxError> error;
        if (type == ckp::Type::Syntax) {
            error = record.syntax_error();
            ++errors_;
            failed_ = failed_ || resourceFault(error->message);
        }
        JsonBuffer& text = output_.text();
        if (array_ && !first_) {
            text.append(',');
        }
        appendRecord(text, record, place, fileOf(record, place), error ? &*error : nullptr,
                     comment_);
        if (!array_) {
            text.append('\n');
        }
        first_ = false;
        output_.recordDone();
    }

    // The record's file as a JSON string, escaped once for each run of
    // records of one file: the file changes only where the include level
    // does. Standard input is named as the library names it in its reports.
    std::string_view fileOf(const ckp::Record& record, const ckp::Place& place) {
        if (place.level != fileLevel_) {
            std::string_view file = record.file();
            fileJson_.clear();
            appendJsonString(fileJson_, file.empty() ? std::string_view("stdin") : file);
            fileLevel_ = place.level;
        }
        return {fileJson_.data(), fileJson_.size()};
    }

    JsonOutput& output_;
    bool array_;
    bool& first_;
    bool& failed_;
    long errors_ = 0;
    CommentReport comment_;
    JsonBuffer fileJson_;
    int fileLevel_ = -1;
};

} // namespace

int runJson(const JsonOptions& options) {
    JsonOutput output;
    long errors = 0;
    bool first = true;
    bool failed = false;
    if (options.array) {
        output.text().append('[');
    }
    for (const std::string& file : options.files) {
        try {
            errors += JsonFile(output, options.array, first, failed).print(file);
        } catch (const ckp::Error& e) {
            // What was read before the failure comes out ahead of its message.
            output.flush();
            std::fflush(stdout);
            throw ToolError(aboutFile(file, e.what()));
        }
    }
    if (options.array) {
        output.text().append("]\n");
    }
    output.flush();
    if (failed) {
        return exitFailure;
    }
    return errors > 0 ? exitFindings : exitOk;
}

} // namespace ckptool
