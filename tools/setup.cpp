// ckp setup: a setup loaded (by path or through its search group), looked
// at or changed. A change holds the lock on the setup's file from reading to
// replacing it and applies only its entry's change to the file as it is then
// (setup_save.hpp): every other byte stays.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "canonical.hpp"
#include "ckp/ckp.hpp"
#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "escape.hpp"
#include "json_text.hpp"
#include "output.hpp"
#include "setup_find.hpp"
#include "setup_save.hpp"

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

std::string groupName(const SetupOptions& o) {
    return o.group.empty() ? "kvosetup" : o.group;
}

// The library reads a path of at most this many characters, and takes one
// found through a search group only when it is shorter than
// KVO_PATH_BUFFER.
constexpr std::size_t longestReadPath = 1023;

// The file that the setup NAME is loaded from, found as the library finds
// it: NAME itself when it exists, else through the search group; empty when
// there is none. A path that the library would not take fails here, with
// its reason, rather than as a file that cannot be found or opened.
std::string setupFile(const SetupOptions& o) {
    std::string file;
    if (kvoFileExists(o.name.c_str())) {
        file = o.name;
    } else if (char* found = kvoSearchGroupPath(o.name.c_str(), groupName(o).c_str())) {
        file = found;
        kvoFree(found);
        if (file.size() >= KVO_PATH_BUFFER) {
            throw ToolError("cannot load setup " + o.name + ": the search group " + groupName(o) +
                            " finds " + file + ", a path longer than " +
                            std::to_string(KVO_PATH_BUFFER - 1) + " characters");
        }
    }
    if (file.size() > longestReadPath) {
        throw ToolError("cannot load setup " + o.name + ": its path is longer than " +
                        std::to_string(longestReadPath) + " characters");
    }
    return file;
}

[[noreturn]] void noEntry(const std::string& entry, const std::string& setup) {
    throw ToolError("no entry " + entry + " in " + setup, exitFindings);
}

void requireEntry(const ckp::Setup& setup, const std::string& entry) {
    if (!setup.has_entry(entry)) {
        noEntry(entry, setup.name());
    }
}

// Names and values come from a file that anyone may have written: their
// control characters are shown escaped, never sent to the terminal.
void printLine(const std::string& text) {
    std::printf("%s\n", escapeControls(text).c_str());
}

void printEntry(const ckp::Setup& setup, const std::string& entry) {
    printLine(entry);
    for (const auto& [name, value] : setup.props(entry)) {
        printLine(value ? "  " + name + "=\"" + *value + "\"" : "  " + name);
    }
}

// JSON as `ckp json` writes it: bytes that are no UTF-8 as \udcXX.
void printJson(const JsonBuffer& json) {
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
}

void appendValue(JsonBuffer& json, const ckp::Setup::Value& value) {
    if (value) {
        appendJsonString(json, *value);
    } else {
        json.append("null");
    }
}

// {"name": value, ...} in the entry's order, a flag null.
void appendEntryJson(JsonBuffer& json, const ckp::Setup& setup, const std::string& entry) {
    json.append('{');
    bool first = true;
    for (const auto& [name, value] : setup.props(entry)) {
        if (!first) {
            json.append(',');
        }
        first = false;
        appendJsonString(json, name);
        json.append(':');
        appendValue(json, value);
    }
    json.append('}');
}

int list(const ckp::Setup& setup, bool json) {
    JsonBuffer out;
    out.append('[');
    bool first = true;
    for (const std::string& entry : setup.entries()) {
        if (!json) {
            printLine(entry);
            continue;
        }
        if (!first) {
            out.append(',');
        }
        first = false;
        appendJsonString(out, entry);
    }
    out.append(']');
    if (json) {
        printJson(out);
    }
    return exitOk;
}

int show(const ckp::Setup& setup, const std::vector<std::string>& entries, bool json) {
    JsonBuffer out;
    out.append('{');
    bool first = true;
    for (const std::string& entry : entries.empty() ? setup.entries() : entries) {
        requireEntry(setup, entry);
        if (!json) {
            printEntry(setup, entry);
            continue;
        }
        if (!first) {
            out.append(',');
        }
        first = false;
        appendJsonString(out, entry);
        out.append(':');
        appendEntryJson(out, setup, entry);
    }
    out.append('}');
    if (json) {
        printJson(out);
    }
    return exitOk;
}

int printValue(const ckp::Setup::Value& value, bool json) {
    if (json) {
        JsonBuffer out;
        appendValue(out, value);
        printJson(out);
    } else {
        printLine(value.value_or(""));
    }
    return exitOk;
}

[[noreturn]] void noProperty(const std::string& entry, const std::string& name) {
    throw ToolError("entry " + entry + " has no property " + name, exitFindings);
}

int get(const ckp::Setup& setup, const std::string& entry, const std::string& name, bool json) {
    requireEntry(setup, entry);
    std::optional<ckp::Setup::Value> value = setup.get(entry, name);
    if (!value) {
        noProperty(entry, name);
    }
    return printValue(*value, json);
}

// `get` from one read of the file, without loading the setup; nullopt when
// the read cannot vouch for the answer and the setup must be loaded.
std::optional<int> getStreamed(const SetupOptions& o, const std::string& file) {
    const std::string& entry = o.args[0];
    const std::string& name = o.args[1];
    FoundEntry found = findEntry(file, entry);
    if (!found.sure) {
        return std::nullopt;
    }
    if (!found.props) {
        noEntry(entry, o.name);
    }
    auto prop = std::find_if(found.props->begin(), found.props->end(),
                             [&](const auto& p) { return p.first == name; });
    if (prop == found.props->end()) {
        noProperty(entry, name);
    }
    return printValue(prop->second, o.json);
}

// The entry as the store holds it; nullopt when it has none of that name.
std::optional<SetupProps> entryProps(const ckp::Setup& setup, const std::string& entry) {
    if (!setup.has_entry(entry)) {
        return std::nullopt;
    }
    SetupProps props;
    for (auto& prop : setup.props(entry)) {
        props.emplace_back(std::move(prop));
    }
    return props;
}

// Changes one entry in memory and writes that change into the file as it is
// now: every other byte stays.
template <class Change>
void editEntry(ckp::Setup& setup, const std::string& file, const std::string& entry,
               Change change) {
    std::optional<SetupProps> before = entryProps(setup, entry);
    change();
    saveSetupChanges(file, {{entry, std::move(before), entryProps(setup, entry)}});
}

using Assignment = std::pair<std::string, std::optional<std::string>>;

// What `set` assigns: PROPERTY [VALUE], or, when the first word holds a '='
// (which no property name does), NAME=VALUE words and FLAG words.
std::vector<Assignment> assignments(const std::vector<std::string>& args) {
    std::vector<Assignment> out;
    if (args[1].find('=') == std::string::npos) {
        if (args.size() > 3) {
            throw ToolError("usage: ckp setup set NAME ENTRY PROPERTY [VALUE], or ENTRY "
                            "NAME=VALUE... FLAG...");
        }
        out.emplace_back(args[1],
                         args.size() > 2 ? std::optional<std::string>(args[2]) : std::nullopt);
        return out;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::size_t eq = args[i].find('=');
        if (eq == std::string::npos) {
            out.emplace_back(args[i], std::nullopt);
        } else {
            out.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
        }
    }
    return out;
}

int set(ckp::Setup& setup, const std::string& file, const std::vector<std::string>& args) {
    std::vector<Assignment> all = assignments(args);
    editEntry(setup, file, args[0], [&] {
        for (const auto& [name, value] : all) {
            setup.set(args[0], name, value ? value->c_str() : nullptr);
        }
    });
    return exitOk;
}

int del(ckp::Setup& setup, const std::string& file, const std::vector<std::string>& args) {
    requireEntry(setup, args[0]);
    if (args.size() > 1 && !setup.get(args[0], args[1])) {
        throw ToolError("entry " + args[0] + " has no property " + args[1], exitFindings);
    }
    editEntry(setup, file, args[0], [&] {
        if (args.size() > 1) {
            setup.erase(args[0], args[1]);
        } else {
            setup.erase_entry(args[0]);
        }
    });
    return exitOk;
}

// What set and del do to an entry's properties as the store holds them
// (by name, each once), for a change made without loading the setup.
void setProp(SetupProps& props, const std::string& name, std::optional<std::string> value) {
    auto at = std::lower_bound(props.begin(), props.end(), name,
                               [](const auto& p, const std::string& n) { return p.first < n; });
    if (at != props.end() && at->first == name) {
        at->second = std::move(value);
    } else {
        props.emplace(at, name, std::move(value));
    }
}

bool hasProp(const SetupProps& props, const std::string& name) {
    return std::any_of(props.begin(), props.end(), [&](const auto& p) { return p.first == name; });
}

std::optional<SetupProps> changedProps(const SetupOptions& o,
                                       const std::optional<SetupProps>& before) {
    const std::string& entry = o.args[0];
    if (o.action == "set") {
        std::vector<Assignment> all = assignments(o.args);
        SetupProps after = before.value_or(SetupProps());
        for (auto& [name, value] : all) {
            setProp(after, name, std::move(value));
        }
        return after;
    }
    if (!before) {
        noEntry(entry, o.name);
    }
    if (o.args.size() == 1) {
        return std::nullopt;
    }
    if (!hasProp(*before, o.args[1])) {
        noProperty(entry, o.args[1]);
    }
    SetupProps after = *before;
    after.erase(std::find_if(after.begin(), after.end(),
                             [&](const auto& p) { return p.first == o.args[1]; }));
    return after;
}

// Whether a change names only what the store takes as it is: an empty name
// is left to the store's own refusal.
bool plainChange(const SetupOptions& o) {
    std::size_t least = o.action == "set" ? 2 : 1;
    std::size_t most = o.action == "set" ? 1000000 : 2;
    if (o.args.size() < least || o.args.size() > most) {
        return false;
    }
    if (o.action == "set" && o.args[1].find('=') == std::string::npos) {
        return !o.args[0].empty() && !o.args[1].empty();
    }
    return std::none_of(o.args.begin(), o.args.end(),
                        [](const std::string& a) { return a.empty() || a[0] == '='; });
}

// set or del from one read of the file, without loading the setup; nullopt
// when the read cannot vouch for the entry and the setup must be loaded.
std::optional<int> changeStreamed(const SetupOptions& o, const std::string& file) {
    if (!plainChange(o)) {
        return std::nullopt;
    }
    FoundEntry found = findEntry(file, o.args[0]);
    if (!found.sure) {
        return std::nullopt;
    }
    std::optional<SetupProps> after = changedProps(o, found.props);
    saveSetupChanges(file, {{o.args[0], std::move(found.props), std::move(after)}});
    return exitOk;
}

int dispatch(const SetupOptions& o, ckp::Setup& setup, const std::string& file) {
    if (o.action == "list") {
        needArgs(o, 0, 0, "");
        return list(setup, o.json);
    }
    if (o.action == "show") {
        return show(setup, o.args, o.json);
    }
    if (o.action == "get") {
        needArgs(o, 2, 2, "ENTRY PROPERTY");
        return get(setup, o.args[0], o.args[1], o.json);
    }
    if (o.action == "set") {
        needArgs(o, 2, 1000000, "ENTRY PROPERTY [VALUE], or ENTRY NAME=VALUE... FLAG...");
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

// The setup loaded as ckp::Setup::load loads it, with the same error, but
// without the copy of every entry that a later save() would compare
// against: the command saves its one change itself.
ckp::Setup loadSetup(const SetupOptions& o) {
    ckp::detail::ReportCapture capture;
    const char* group = groupOf(o);
    int ok =
        group != nullptr ? ckpSetupLoadGroup(o.name.c_str(), group) : ckpSetupLoad(o.name.c_str());
    if (ok == 0) {
        std::string message = capture.joined();
        throw ckp::Error("ckpSetupLoad",
                         message.empty() ? "ckpSetupLoad failed for \"" + o.name + "\"" : message);
    }
    return ckp::Setup(o.name);
}

int loadAndRun(const SetupOptions& o, const std::string& file) {
    ckp::Setup setup = loadSetup(o);
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
std::string setupMessage(const SetupOptions& o, const std::string& file, const ckp::Error& e) {
    std::string what = capReports(e.what());
    if (what == e.operation() + " failed for \"" + o.name + "\"") {
        if (e.operation() == "ckpSetupLoad") {
            return "cannot load setup " + o.name + ": no such file, nor in the search group " +
                   groupName(o);
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
            line = file + ": " + line.substr(close + 3);
        } else if (what.find('\n') == std::string::npos) {
            line = aboutFile(file, line);
        }
        out += (out.empty() ? "" : "\n") + line;
        at = end + 1;
    }
    return out;
}

// A setup read from standard input: its bytes in a private file of the
// system's temporary directory while the object lives, since the store
// loads setups by path; messages name it "stdin".
class StdinSetup {
  public:
    StdinSetup() {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/ckp-stdin-XXXXXX";
        int fd = mkstemp(path_.data());
        if (fd < 0) {
            throw ToolError("cannot keep standard input: " + std::string(std::strerror(errno)));
        }
        std::string bytes = readStream(stdin, "stdin");
        bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        int errnum = errno;
        if (close(fd) != 0 || !written) {
            unlink(path_.c_str());
            throw ToolError("cannot keep standard input: " + std::string(std::strerror(errnum)));
        }
    }
    ~StdinSetup() { unlink(path_.c_str()); }
    StdinSetup(const StdinSetup&) = delete;
    StdinSetup& operator=(const StdinSetup&) = delete;

    const std::string& path() const { return path_; }
    std::string named(std::string text) const {
        for (std::size_t at; (at = text.find(path_)) != std::string::npos;) {
            text.replace(at, path_.size(), "stdin");
        }
        return text;
    }

  private:
    std::string path_;
};

int runFromStdin(const SetupOptions& o) {
    if (changes(o) || o.action == "create") {
        throw ToolError("standard input can only be looked at: list, show or get");
    }
    StdinSetup input;
    SetupOptions fromFile = o;
    fromFile.name = input.path();
    try {
        return loadAndRun(fromFile, input.path());
    } catch (const ckp::Error& e) {
        throw ToolError(input.named(setupMessage(fromFile, "stdin", e)));
    }
}

} // namespace

int runSetup(const SetupOptions& o) {
    if (o.name == "-") {
        return runFromStdin(o);
    }
    std::string file;
    try {
        if (o.action == "create") {
            return create(o);
        }
        file = setupFile(o);
        if (o.action == "get" && o.args.size() == 2 && !file.empty()) {
            if (std::optional<int> status = getStreamed(o, file)) {
                return *status;
            }
        }
        // Without a file the load fails; no lock is taken for a file that
        // is not there.
        if (!changes(o) || file.empty()) {
            return loadAndRun(o, file);
        }
        // Loading a FIFO would wait for a writer before the edit could
        // refuse it.
        if (!kvoIsRegularFile(file.c_str())) {
            throw ToolError("cannot write " + file + ": " + kvoStrError(KVO_ENOTREGULAR));
        }
        FileLock lock(file);
        if (std::optional<int> status = changeStreamed(o, file)) {
            return *status;
        }
        return loadAndRun(o, file);
    } catch (const ckp::Error& e) {
        throw ToolError(setupMessage(o, file.empty() ? o.name : file, e));
    }
}

} // namespace ckptool
