// ckp setup: a setup loaded (by path or through its search group), looked
// at or changed. A change holds the lock on the setup's file from reading to
// replacing it and rewrites only the record of the entry it changes.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "canonical.hpp"
#include "ckp/ckp.hpp"
#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "format_text.hpp"
#include "output.hpp"
#include "source_lines.hpp"

namespace ckptool {
namespace {

void needArgs(const SetupOptions& o, std::size_t least, std::size_t most, const char* usage) {
    if (o.args.size() < least || o.args.size() > most) {
        throw ToolError(std::string("usage: ckp setup ") + o.action + " NAME " + usage);
    }
}

const char* groupOf(const SetupOptions& o) {
    return o.group.empty() ? nullptr : o.group.c_str();
}

// The file that the setup NAME is loaded from, found as the library finds
// it: NAME itself when it exists, else through the search group.
std::string setupFile(const SetupOptions& o) {
    if (kvoFileExists(o.name.c_str())) {
        return o.name;
    }
    char found[KVO_PATH_BUFFER];
    const char* group = o.group.empty() ? "kvosetup" : o.group.c_str();
    if (wyrSearchGroup(0, o.name.c_str(), group, found, sizeof found) == 0) {
        return found;
    }
    return o.name;
}

void requireEntry(const ckp::Setup& setup, const std::string& entry) {
    if (!setup.has_entry(entry)) {
        throw ToolError("no entry " + entry + " in " + setup.name(), exitFindings);
    }
}

void printEntry(const ckp::Setup& setup, const std::string& entry) {
    std::printf("%s\n", entry.c_str());
    for (const auto& [name, value] : setup.props(entry)) {
        if (value) {
            std::printf("  %s=\"%s\"\n", name.c_str(), value->c_str());
        } else {
            std::printf("  %s\n", name.c_str());
        }
    }
}

int list(const ckp::Setup& setup) {
    for (const std::string& entry : setup.entries()) {
        std::printf("%s\n", entry.c_str());
    }
    return exitOk;
}

int show(const ckp::Setup& setup, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries.empty() ? setup.entries() : entries) {
        requireEntry(setup, entry);
        printEntry(setup, entry);
    }
    return exitOk;
}

int get(const ckp::Setup& setup, const std::string& entry, const std::string& name) {
    requireEntry(setup, entry);
    std::optional<ckp::Setup::Value> value = setup.get(entry, name);
    if (!value) {
        throw ToolError("entry " + entry + " has no property " + name, exitFindings);
    }
    std::printf("%s\n", value->value_or("").c_str());
    return exitOk;
}

using Props = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Where an entry's record lies in the setup file, and what it holds.
struct EntryPlace {
    bool found = false;
    bool included = false;                   // found in an included file only
    bool headed = false;                     // the file begins with a header of its own
    std::string_view lines;                  // the record's lines
    std::size_t offset = 0;                  // where they begin
    std::size_t insertAt = 0;                // where a new record of that name goes
    bool insertFound = false;                // a later object record was found for it
    std::size_t openEnd = std::string::npos; // the backslash continuing the last record
    Props props;                             // in the record's order
    RecordComments comments;
};

using Visit = std::function<void(const SourceRecord&)>;
using Walk = std::function<SourceFile(const Visit&)>;

void noteMainRecord(EntryPlace& place, const SourceRecord& s) {
    if (s.included || s.lines.empty()) {
        return;
    }
    place.headed = place.headed || s.record.type() == ckp::Type::Header;
    std::size_t backslash = 0;
    place.openEnd = endsContinued(s.lines, &backslash) ? s.offset + backslash : std::string::npos;
}

EntryPlace findEntry(const std::string& entry, const Walk& walk, SourceFile& source) {
    EntryPlace place;
    source = walk([&](const SourceRecord& s) {
        noteMainRecord(place, s);
        if (s.record.type() != ckp::Type::Object) {
            return;
        }
        std::string_view path = s.record.path();
        if (path == entry && s.included) {
            place.included = true;
        } else if (path == entry && !place.found) {
            place.found = true;
            place.lines = s.lines;
            place.offset = s.offset;
            for (const ckp::Property& p : s.record.props()) {
                place.props.emplace_back(std::string(p.name),
                                         p.has_value ? std::optional<std::string>(p.value)
                                                     : std::nullopt);
            }
            place.comments = commentsOf(s.lines);
        } else if (!s.included && !place.insertFound && path > entry) {
            place.insertFound = true;
            place.insertAt = s.offset;
        }
    });
    // The views point into the bytes, which moved into `source`.
    if (place.found) {
        place.lines = std::string_view(source.bytes).substr(place.offset, place.lines.size());
    }
    if (!place.insertFound) {
        place.insertAt = source.bytes.size();
    }
    return place;
}

// The entry's place in the setup file as it will be written: a file without
// a header of its own (empty, or of syntax version 0) is first written
// whole in the current syntax, its comments kept, so that the edited file
// still loads.
EntryPlace findEntryToEdit(const std::string& file, const std::string& entry, SourceFile& source) {
    EntryPlace place = findEntry(
        entry, [&](const Visit& visit) { return walkMainFile(file, visit, true); }, source);
    if (place.headed) {
        return place;
    }
    std::string problems;
    Formatted converted = formatText(
        source.name,
        [&](const ckp::SyntaxError& e) {
            problems += problems.empty() ? "" : "; ";
            problems += "line " + std::to_string(e.line) + ": " + e.message;
        },
        false, true);
    if (converted.errors > 0) {
        throw ToolError("cannot give " + source.name + " a header: " + problems);
    }
    bool included = place.included;
    std::string name = source.name;
    place = findEntry(
        entry,
        [&](const Visit& visit) { return walkBytes(name, converted.text, visit, true, false); },
        source);
    place.included = included;
    return place;
}

std::string recordText(const std::string& entry, const Props& props) {
    CanonicalText canonical;
    ckp::Writer::RecordBuilder record = canonical.writer().object(entry);
    for (const auto& [name, value] : props) {
        record.prop(name.c_str(), value ? value->c_str() : nullptr);
    }
    return canonical.finish();
}

// What is left of a deleted record: its comments, each on a line of its own.
std::string commentsLeft(const RecordComments& comments) {
    std::string out;
    for (const std::string& line : comments.lines) {
        out += line + '\n';
    }
    if (!comments.trailing.empty()) {
        out += comments.trailing + '\n';
    }
    return out;
}

// Rewrites the setup file with the entry's record changed by `change`
// (which returns false to drop the record, its comments staying); every
// other byte stays.
template <class Change>
void rewriteEntry(const std::string& file, const std::string& entry, Change change) {
    SourceFile source;
    EntryPlace place = findEntryToEdit(file, entry, source);
    if (place.included && !place.found) {
        throw ToolError("entry " + entry + " of " + file +
                        " is in an included file; change it there");
    }
    Output output(source.name);
    std::string out;
    const std::string& bytes = source.bytes;
    bool keep = change(place.props);
    std::string record = keep ? withComments(recordText(entry, place.props), place.comments)
                              : commentsLeft(place.comments);
    if (place.found) {
        out.append(bytes, 0, place.offset);
        out += record;
        out.append(bytes, place.offset + place.lines.size());
    } else {
        out.append(bytes, 0, place.insertAt);
        // A last record continued to the end of the file would take the new
        // one in: its backslash goes, which the reader drops there anyway.
        if (!place.insertFound && place.openEnd != std::string::npos) {
            out.erase(place.openEnd, 1);
        }
        if (!out.empty() && out.back() != '\n') {
            out += '\n';
        }
        out += record;
        out.append(bytes, place.insertAt);
    }
    output.publish(out);
}

void setProp(Props& props, const std::string& name, const std::optional<std::string>& value) {
    for (auto& prop : props) {
        if (prop.first == name) {
            prop.second = value;
            return;
        }
    }
    props.emplace_back(name, value);
}

int set(ckp::Setup& setup, const std::string& file, const std::vector<std::string>& args) {
    if (!setup.has_entry(args[0])) {
        setup.create_entry(args[0]);
    }
    std::optional<std::string> value;
    if (args.size() > 2) {
        value = args[2];
    }
    setup.set(args[0], args[1], value ? value->c_str() : nullptr);
    rewriteEntry(file, args[0], [&](Props& props) {
        setProp(props, args[1], value);
        return true;
    });
    return exitOk;
}

int del(ckp::Setup& setup, const std::string& file, const std::vector<std::string>& args) {
    requireEntry(setup, args[0]);
    if (args.size() > 1) {
        if (!setup.get(args[0], args[1])) {
            throw ToolError("entry " + args[0] + " has no property " + args[1], exitFindings);
        }
        setup.erase(args[0], args[1]);
    } else {
        setup.erase_entry(args[0]);
    }
    rewriteEntry(file, args[0], [&](Props& props) {
        if (args.size() == 1) {
            return false;
        }
        std::erase_if(props, [&](const auto& prop) { return prop.first == args[1]; });
        return true;
    });
    return exitOk;
}

int dispatch(const SetupOptions& o, ckp::Setup& setup, const std::string& file) {
    if (o.action == "list") {
        needArgs(o, 0, 0, "");
        return list(setup);
    }
    if (o.action == "show") {
        return show(setup, o.args);
    }
    if (o.action == "get") {
        needArgs(o, 2, 2, "ENTRY PROPERTY");
        return get(setup, o.args[0], o.args[1]);
    }
    if (o.action == "set") {
        needArgs(o, 2, 3, "ENTRY PROPERTY [VALUE]");
        return set(setup, file, o.args);
    }
    needArgs(o, 1, 2, "ENTRY [PROPERTY]");
    return del(setup, file, o.args);
}

// A new setup file holding only a header. A file of that name that appears
// meanwhile is never replaced.
int create(const SetupOptions& o) {
    needArgs(o, 0, 0, "");
    FileLock lock(o.name);
    if (kvoFileExists(o.name.c_str())) {
        throw ToolError("cannot create " + o.name + ": the file exists");
    }
    Output output(o.name, KVO_REPLACE_NEW);
    CanonicalText canonical;
    canonical.writer().write_header();
    output.publish(canonical.finish());
    return exitOk;
}

bool changes(const SetupOptions& o) {
    return o.action == "set" || o.action == "del";
}

int loadAndRun(const SetupOptions& o, const std::string& file) {
    ckp::Setup setup = ckp::Setup::load(o.name, groupOf(o));
    int status;
    try {
        status = dispatch(o, setup, file);
    } catch (...) {
        ckpSetupClear(o.name.c_str());
        throw;
    }
    setup.clear();
    return status;
}

// The library's messages without the names of its functions, about the
// setup's file; a load that found no file says so.
std::string setupMessage(const SetupOptions& o, const ckp::Error& e) {
    std::string what = capReports(e.what());
    if (what == e.operation() + " failed for \"" + o.name + "\"") {
        if (e.operation() == "ckpSetupLoad") {
            std::string group = o.group.empty() ? "kvosetup" : o.group;
            return "cannot load setup " + o.name + ": no such file, nor in the search group " +
                   group;
        }
        return "setup " + o.name + ": " + e.operation().substr(8) + " failed";
    }
    std::string out;
    std::size_t at = 0;
    while (at < what.size()) {
        std::size_t end = std::min(what.find('\n', at), what.size());
        std::string line = what.substr(at, end - at);
        std::size_t close = line.find("): ");
        bool tagged = (line.rfind("Error (", 0) == 0 || line.rfind("Warning (", 0) == 0) &&
                      close != std::string::npos;
        if (tagged) {
            line = setupFile(o) + ": " + line.substr(close + 3);
        } else if (what.find('\n') == std::string::npos) {
            line = aboutFile(setupFile(o), line);
        }
        out += (out.empty() ? "" : "\n") + line;
        at = end + 1;
    }
    return out;
}

} // namespace

int runSetup(const SetupOptions& o) {
    try {
        if (o.action == "create") {
            return create(o);
        }
        std::string file = setupFile(o);
        if (!changes(o)) {
            return loadAndRun(o, file);
        }
        FileLock lock(file);
        return loadAndRun(o, file);
    } catch (const ckp::Error& e) {
        throw ToolError(setupMessage(o, e));
    }
}

} // namespace ckptool
