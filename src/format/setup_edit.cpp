#include "setup_edit.hpp"

#include <algorithm>
#include <unordered_map>

#include "canonical.hpp"
#include "ckp/ckp.hpp"
#include "format_error.hpp"
#include "format_text.hpp"
#include "source_lines.hpp"

namespace ckptool {
namespace {

// Properties as the store holds them: sorted by name, each name once (a
// record that repeats a name loads with the first).
SetupProps normalized(SetupProps props) {
    std::stable_sort(props.begin(), props.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    props.erase(std::unique(props.begin(), props.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                props.end());
    return props;
}

bool sameProps(const std::optional<SetupProps>& a, const std::optional<SetupProps>& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return normalized(*a) == normalized(*b);
}

// An object record of the file itself, where its lines are.
struct FileRecord {
    SetupProps props; // in the record's order
    std::size_t offset = 0;
    std::size_t size = 0;
};

// What the file holds for a changed entry's name.
struct NamePlace {
    std::optional<FileRecord> record; // the first record of that name
    // Where a new record of the name goes: before the first record whose
    // name, or an earlier one's, sorts after it; npos for the end.
    std::size_t insertAt = std::string::npos;
};

// Only what the changes need is kept of the file, so that an edit of a
// large file takes little besides its bytes.
struct FileLayout {
    bool headed = false;
    std::unordered_map<std::string, NamePlace> names; // of the changed entries
    std::size_t openEnd = std::string::npos;          // the backslash continuing the last record
    std::string problems;                             // syntax errors, "; " between them
};

SetupProps propsOf(const ckp::Record& record) {
    SetupProps props;
    for (const ckp::Property& p : record.props()) {
        props.emplace_back(std::string(p.name),
                           p.has_value ? std::optional<std::string>(p.value) : std::nullopt);
    }
    return props;
}

void noteProblem(std::string& problems, long long line, const std::string& message) {
    problems += problems.empty() ? "" : "; ";
    problems += "line " + std::to_string(line) + ": " + message;
}

// The changed entries' names in ascending order, given their places as
// the largest name seen so far grows past them.
class PendingPlaces {
  public:
    explicit PendingPlaces(FileLayout& layout) : layout_(layout) {
        for (const auto& named : layout.names) {
            pending_.push_back(&named.first);
        }
        std::sort(pending_.begin(), pending_.end(),
                  [](const std::string* a, const std::string* b) { return *a < *b; });
    }
    void record(std::string_view name, std::size_t offset) {
        if (!seen_ || name > largest_) {
            largest_.assign(name);
            seen_ = true;
        }
        for (; next_ < pending_.size() && *pending_[next_] < largest_; ++next_) {
            layout_.names[*pending_[next_]].insertAt = offset;
        }
    }

  private:
    FileLayout& layout_;
    std::vector<const std::string*> pending_;
    std::size_t next_ = 0;
    std::string largest_;
    bool seen_ = false;
};

// Included files are not opened: a setup file that includes one does not
// load (its header is an extra one), and the bytes stand alone.
FileLayout layoutOf(const std::string& name, std::string& bytes,
                    const std::vector<EntryChange>& changes) {
    FileLayout layout;
    for (const EntryChange& change : changes) {
        layout.names.emplace(change.entry, NamePlace());
    }
    PendingPlaces places(layout);
    std::string key; // reused, so that looking a name up allocates nothing
    SourceFile source = walkBytes(
        name, std::move(bytes),
        [&](const SourceRecord& s) {
            if (s.record.type() == ckp::Type::Syntax) {
                const ckp::SyntaxError& e = s.record.syntax_error();
                noteProblem(layout.problems, e.line, e.message);
            }
            if (s.lines.empty()) {
                return;
            }
            layout.headed = layout.headed || s.record.type() == ckp::Type::Header;
            std::size_t backslash = 0;
            layout.openEnd =
                endsContinued(s.lines, &backslash) ? s.offset + backslash : std::string::npos;
            if (s.record.type() == ckp::Type::Object) {
                std::string_view path = s.record.path();
                places.record(path, s.offset);
                key.assign(path);
                auto changed = layout.names.find(key);
                if (changed != layout.names.end() && !changed->second.record) {
                    changed->second.record =
                        FileRecord{propsOf(s.record), s.offset, s.lines.size()};
                }
            }
        },
        true, false);
    bytes = std::move(source.bytes);
    return layout;
}

// A file without a header of its own (empty, or of syntax version 0) is
// first written whole in the current syntax, its comments kept, so that the
// edited file still loads.
std::string withHeader(const std::string& name, const std::string& bytes) {
    std::string problems;
    Formatted converted = formatBytes(
        name, bytes, [&](const ckp::SyntaxError& e) { noteProblem(problems, e.line, e.message); },
        false, true);
    if (converted.errors > 0) {
        throw ToolError("cannot give " + name + " a header: " + problems);
    }
    return converted.text;
}

// One change to the bytes: `size` bytes at `offset` become `text`, or the
// record written as `written`, with `comments` put back.
struct Splice {
    std::size_t offset;
    std::size_t size;
    bool insert;
    std::string entry;
    std::string text;
    std::optional<std::size_t> written;
    RecordComments comments;
};

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

// The record's properties in its own order, new ones after them.
SetupProps mergedProps(const SetupProps& inFile, const SetupProps& after) {
    std::unordered_map<std::string_view, const std::optional<std::string>*> wanted;
    for (const auto& [name, value] : after) {
        wanted.emplace(name, &value);
    }
    SetupProps merged;
    for (const auto& prop : inFile) {
        auto at = wanted.find(prop.first);
        if (at != wanted.end() && at->second != nullptr) {
            merged.emplace_back(prop.first, *at->second);
            at->second = nullptr;
        }
    }
    for (const auto& [name, value] : after) {
        auto at = wanted.find(name);
        if (at->second != nullptr) {
            merged.emplace_back(name, value);
            at->second = nullptr;
        }
    }
    return merged;
}

// The canonical text of several records, written by one writer.
class RecordTexts {
  public:
    // Returns the record's index in texts().
    std::size_t add(const std::string& entry, const SetupProps& props) {
        long start = canonical_.offset();
        StreamWriter::RecordBuilder record = canonical_.writer().object(entry);
        for (const auto& [name, value] : props) {
            record.prop(name.c_str(), value ? value->c_str() : nullptr);
        }
        ends_.push_back({start, canonical_.offset()});
        return ends_.size() - 1;
    }
    std::vector<std::string> texts() {
        std::string all = canonical_.finish();
        std::vector<std::string> out;
        for (auto [start, end] : ends_) {
            out.emplace_back(all, static_cast<std::size_t>(start),
                             static_cast<std::size_t>(end - start));
        }
        return out;
    }

  private:
    CanonicalText canonical_;
    std::vector<std::pair<long, long>> ends_;
};

[[noreturn]] void conflict(const std::string& name, const std::string& entry) {
    throw ToolError(name + ": entry " + entry +
                    " was changed in the file since the setup was loaded; nothing was saved");
}

std::vector<Splice> plan(const std::string& name, const FileLayout& layout,
                         const std::string& bytes, const std::vector<EntryChange>& changes) {
    RecordTexts texts;
    std::vector<Splice> splices;
    for (const EntryChange& change : changes) {
        const NamePlace& place = layout.names.at(change.entry);
        const FileRecord* record = place.record ? &*place.record : nullptr;
        std::optional<SetupProps> inFile;
        if (record != nullptr) {
            inFile = record->props;
        }
        if (sameProps(inFile, change.after)) {
            continue; // the file holds it so already
        }
        if (!sameProps(inFile, change.before)) {
            conflict(name, change.entry);
        }
        if (record == nullptr) {
            std::size_t at = place.insertAt != std::string::npos ? place.insertAt : bytes.size();
            splices.push_back({at, 0, true, change.entry, std::string(),
                               texts.add(change.entry, *change.after), RecordComments()});
            continue;
        }
        RecordComments comments =
            commentsOf(std::string_view(bytes).substr(record->offset, record->size));
        if (!change.after) {
            splices.push_back({record->offset, record->size, false, change.entry,
                               commentsLeft(comments), std::nullopt, RecordComments()});
            continue;
        }
        std::size_t written = texts.add(change.entry, mergedProps(record->props, *change.after));
        splices.push_back({record->offset, record->size, false, change.entry, std::string(),
                           written, std::move(comments)});
    }
    std::vector<std::string> written = texts.texts();
    for (Splice& s : splices) {
        if (s.written) {
            s.text = withComments(written[*s.written], s.comments);
        }
    }
    return splices;
}

bool usesCrLf(std::string_view bytes) {
    std::size_t end = bytes.find('\n');
    return end != std::string_view::npos && end > 0 && bytes[end - 1] == '\r';
}

std::string withLineEnds(const std::string& text, bool crlf) {
    if (!crlf) {
        return text;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// A last record continued to the end of the file would take a new record
// at the end in: its backslash goes, which the reader drops there anyway. A
// record that is rewritten loses it by itself.
void closeOpenEnd(std::vector<Splice>& splices, const FileLayout& layout, std::size_t end) {
    if (layout.openEnd == std::string::npos) {
        return;
    }
    bool appended = false;
    for (const Splice& s : splices) {
        if (!s.insert && s.offset <= layout.openEnd && layout.openEnd < s.offset + s.size) {
            return;
        }
        appended = appended || (s.insert && s.offset == end);
    }
    if (appended) {
        splices.push_back({layout.openEnd, 1, false, std::string(), std::string(), std::nullopt,
                           RecordComments()});
    }
}

// The parts of the new bytes: each splice's text after the bytes up to it.
std::vector<EditedSetup::Part> spliced(const std::string& bytes, std::vector<Splice>& splices,
                                       const FileLayout& layout) {
    closeOpenEnd(splices, layout, bytes.size());
    std::sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) {
        if (a.offset != b.offset) {
            return a.offset < b.offset;
        }
        if (a.insert != b.insert) {
            return a.insert; // new records go before the record they precede
        }
        return a.entry < b.entry;
    });
    bool crlf = usesCrLf(bytes);
    std::vector<EditedSetup::Part> parts;
    std::size_t at = 0;
    bool wrote = false; // whether anything was written yet, and its last byte
    char last = '\0';
    for (const Splice& s : splices) {
        EditedSetup::Part part{at, s.offset - at, std::string()};
        if (part.size > 0) {
            wrote = true;
            last = bytes[s.offset - 1];
        }
        // New records at the end begin on a line of their own.
        if (s.offset == bytes.size() && wrote && last != '\n') {
            part.text = crlf ? "\r\n" : "\n";
        }
        part.text += withLineEnds(s.text, crlf);
        if (!part.text.empty()) {
            wrote = true;
            last = part.text.back();
        }
        parts.push_back(std::move(part));
        at = s.offset + s.size;
    }
    parts.push_back({at, bytes.size() - at, std::string()});
    return parts;
}

} // namespace

std::vector<EntryChange> changesBetween(const SetupEntries& loaded, const SetupEntries& now) {
    std::unordered_map<std::string_view, const SetupProps*> before;
    for (const SetupEntry& e : loaded) {
        before.emplace(e.name, &e.props);
    }
    std::vector<EntryChange> changes;
    for (const SetupEntry& e : now) {
        auto found = before.find(e.name);
        if (found == before.end()) {
            changes.push_back({e.name, std::nullopt, e.props});
            continue;
        }
        if (!sameProps(*found->second, e.props)) {
            changes.push_back({e.name, *found->second, e.props});
        }
        before.erase(found);
    }
    for (const SetupEntry& e : loaded) {
        if (before.count(e.name) != 0) {
            changes.push_back({e.name, e.props, std::nullopt});
        }
    }
    std::sort(changes.begin(), changes.end(),
              [](const EntryChange& a, const EntryChange& b) { return a.entry < b.entry; });
    return changes;
}

std::string setupText(const SetupEntries& entries) {
    CanonicalText canonical;
    canonical.writer().write_header();
    for (const SetupEntry& entry : entries) {
        StreamWriter::RecordBuilder record = canonical.writer().object(entry.name);
        for (const auto& [name, value] : entry.props) {
            record.prop(name.c_str(), value ? value->c_str() : nullptr);
        }
    }
    return canonical.finish();
}

void EditedSetup::write(const std::function<void(const char*, std::size_t)>& out) const {
    const std::string& bytes = base();
    for (const Part& part : parts_) {
        if (part.size > 0) {
            out(bytes.data() + part.offset, part.size);
        }
        if (!part.text.empty()) {
            out(part.text.data(), part.text.size());
        }
    }
}

bool EditedSetup::same(std::string_view bytes) const {
    std::size_t at = 0;
    bool same = true;
    write([&](const char* data, std::size_t size) {
        same = same && bytes.substr(at, size) == std::string_view(data, size);
        at += size;
    });
    return same && at == bytes.size();
}

std::string EditedSetup::text() const {
    std::string out;
    write([&](const char* data, std::size_t size) { out.append(data, size); });
    return out;
}

EditedSetup editSetup(const std::string& name, std::string& bytes,
                      const std::vector<EntryChange>& changes) {
    EditedSetup edited;
    edited.file_ = &bytes;
    if (bytes.empty()) {
        edited.own_ = setupText({});
        edited.converted_ = true;
    }
    std::string& base = edited.converted_ ? edited.own_ : bytes;
    FileLayout layout = layoutOf(name, base, changes);
    if (!layout.problems.empty()) {
        throw ToolError(name + ": " + layout.problems);
    }
    if (!layout.headed) {
        edited.own_ = withHeader(name, base);
        edited.converted_ = true;
        layout = layoutOf(name, edited.own_, changes);
    }
    const std::string& edit = edited.base();
    std::vector<Splice> splices = plan(name, layout, edit, changes);
    if (splices.empty()) {
        edited.parts_.push_back({0, edit.size(), std::string()});
    } else {
        edited.parts_ = spliced(edit, splices, layout);
    }
    return edited;
}

std::string applySetupChanges(const std::string& name, std::string bytes,
                              const std::vector<EntryChange>& changes) {
    return editSetup(name, bytes, changes).text();
}

} // namespace ckptool
