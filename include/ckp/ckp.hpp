/* C++ interface to the checkpoint library: RAII handles, range iteration
 * over records, string views into the handle's own strings, and failures as
 * ckp::Error exceptions, over the C API of ckp.h; C++17 or later. Header-only
 * but for Setup's saves, which live in libckp_cxx (ckpcxx.h; the CMake target
 * ckp::cxx, pkg-config ckp-cxx).
 *
 *   ckp::Reader reader("main.ckpt");
 *   for (const ckp::Record& r : reader)
 *       if (r.type() == ckp::Type::Object)
 *           for (ckp::Property p : r.props()) use(r.path(), p.name, p.value);
 *
 * The views a Record hands out stay valid until the reader moves on. */
#ifndef CKP_CKP_HPP
#define CKP_CKP_HPP

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ckpcxx.h"
#include "ckpx.h"

namespace ckp {

/* A failed operation: what() is the library's message, operation() the C
 * function that failed. */
class Error : public std::runtime_error {
  public:
    Error(std::string operation, const std::string& message)
        : std::runtime_error(message), operation_(std::move(operation)) {}
    const std::string& operation() const noexcept { return operation_; }

  private:
    std::string operation_;
};

enum class Type : int {
    None = ckpTypeNone,
    Comment = ckpTypeComment,
    Error = ckpTypeError,
    Syntax = ckpTypeSyntax,
    Header = ckpTypeHeader,
    Include = ckpTypeInclude,
    Object = ckpTypeObject,
    ConfigPath = ckpTypeConfigPath,
    SubDir = ckpTypeSubDir,
    EndInclude = ckpTypeEndInclude,
    End = ckpTypeEnd
};

/* One property of a record; a flag property has no value. */
struct Property {
    std::string_view name;
    std::string_view value;
    bool has_value = false;
};

/* A syntax error as the library shows it: the faulty line's text (tabs shown
 * as blanks), the 1-based column of the faulty character in it, and the
 * message. */
struct SyntaxError {
    std::string file;
    long long line = 0; /* 64 bits on every platform: counts pass 2^31 */
    int column = 0;
    std::string message;
    std::string text;
};

namespace detail {

inline std::string_view view(const char* text) {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

[[noreturn]] inline void fail(const char* operation) {
    throw Error(operation, ckpGetError());
}

/* Collects the messages of the library's reporter while it lives and puts
 * the previous reporter back afterwards. */
class ReportCapture {
  public:
    ReportCapture() {
        kvoGetReportHandler(&previous_, &previousData_);
        kvoSetReportHandler(&ReportCapture::collect, this);
    }
    ~ReportCapture() { kvoSetReportHandler(previous_, previousData_); }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    const std::vector<std::string>& texts() const noexcept { return texts_; }
    std::string joined() const {
        std::string all;
        for (const std::string& text : texts_) {
            all += all.empty() ? "" : "\n";
            all += text;
        }
        return all;
    }

  private:
    static int collect(const char* text, void* self) {
        try {
            static_cast<ReportCapture*>(self)->texts_.emplace_back(text != nullptr ? text : "");
            return 1;
        } catch (...) { // no exception may unwind through the C library
            return 0;
        }
    }

    kvoReportHandler previous_ = nullptr;
    void* previousData_ = nullptr;
    std::vector<std::string> texts_;
};

} // namespace detail

/* The properties of the current record in record order, walked with one
 * generator of the handle. */
class PropertyRange {
  public:
    class iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Property;
        using difference_type = std::ptrdiff_t;
        using pointer = const Property*;
        using reference = const Property&;

        iterator() = default;
        explicit iterator(ckpInfo* info) : info_(info) { advance(); }
        reference operator*() const { return current_; }
        pointer operator->() const { return &current_; }
        iterator& operator++() {
            advance();
            return *this;
        }
        void operator++(int) { advance(); }
        friend bool operator==(const iterator& a, const iterator& b) { return a.info_ == b.info_; }
        friend bool operator!=(const iterator& a, const iterator& b) { return !(a == b); }

      private:
        void advance() {
            char* name = nullptr;
            char* value = nullptr;
            if (info_ == nullptr || ckpGenProp(info_, &id_, &name, &value) == 0) {
                info_ = nullptr;
                return;
            }
            current_ = Property{detail::view(name), detail::view(value), value != nullptr};
        }

        ckpInfo* info_ = nullptr;
        int id_ = 0;
        Property current_;
    };

    explicit PropertyRange(ckpInfo* info) : info_(info) {}
    iterator begin() const { return iterator(info_); }
    iterator end() const { return iterator(); }

  private:
    ckpInfo* info_;
};

class Reader;

/* Where a record stands in its file, as ckp::Reader counts it. Records
 * partition the lines of their file: a record begins on the line after the
 * one the previous record of its file ended on (the comment and blank lines
 * inside a continued record are its own), and ends on the line the library's
 * reports name. The header of a file without one holds no line (0 and 0);
 * its first record then begins on line 1. Level 0 is the main file; an
 * include record and the end of an include count to the including file,
 * the included file's records one level deeper. */
struct Place {
    long long line = 0;
    long long end_line = 0;
    int level = 0;
};

/* The reader's current record. */
class Record {
  public:
    Type type() const { return static_cast<Type>(ckpGetType(info_)); }
    /* The path the record names; empty for a record that names none (a
     * comment, a header, the end of an include or of the file), where the
     * handle still holds the path of an earlier record. */
    std::string_view path() const {
        return names_path(type()) ? detail::view(ckpGetObjPath(info_)) : std::string_view();
    }
    std::string_view config_path() const { return detail::view(ckpGetConfigPath(info_)); }
    std::string_view sub_dir() const { return detail::view(ckpGetSubDir(info_)); }
    /* The file being read: an included file while its records come. */
    std::string_view file() const {
        char* name = nullptr;
        return ckpGetName(info_, 1, &name) != 0 ? detail::view(name) : std::string_view();
    }
    /* The record's first physical line in its file; end_line() its last
     * (the line the library's reports name). They mean what `ckp json`'s
     * line and end_line and Python's Record.line and end_line mean; a syntax
     * error's own line is in syntax_error().line. */
    long long line() const {
        long long first = 0;
        ckpxRecordLines(info_, &first, nullptr);
        return first;
    }
    long long end_line() const {
        long long last = 0;
        ckpxRecordLines(info_, nullptr, &last);
        return last;
    }
    PropertyRange props() const { return PropertyRange(info_); }
    /* The first property of that name, if any; its name views the one
     * given. */
    std::optional<Property> prop(std::string_view name) const {
        char* value = nullptr;
        if (ckpGetProp(info_, std::string(name).c_str(), &value) == 0) {
            return std::nullopt;
        }
        return Property{name, detail::view(value), value != nullptr};
    }
    /* For a record of type Syntax: where it is and what is wrong, from the
     * library's own data (an empty error for any other record). */
    SyntaxError syntax_error() const {
        SyntaxError error;
        const char* message = nullptr;
        const char* text = nullptr;
        if (ckpxSyntaxError(info_, &error.line, &error.column, &message, &text) == 0) {
            return error;
        }
        std::string_view name = file();
        error.file = name.empty() ? std::string("stdin") : std::string(name);
        error.message = detail::view(message);
        error.text = detail::view(text);
        if (!error.text.empty() && error.text.back() == '\n') {
            error.text.pop_back();
        }
        for (char& c : error.text) {
            c = c == '\t' ? ' ' : c; // as the library echoes the line
        }
        return error;
    }
    ckpInfo* handle() const noexcept { return info_; }

  private:
    friend class Reader;
    explicit Record(ckpInfo* info) : info_(info) {}
    static bool names_path(Type type) {
        return type == Type::None || type == Type::Object || type == Type::Include ||
               type == Type::ConfigPath || type == Type::SubDir || type == Type::Syntax;
    }
    ckpInfo* info_;
};

/* A read handle: records one after the other, includes followed, up to the
 * end of the main file. A read failure throws; a syntax error is a record of
 * type Syntax and reading goes on after it. The reader keeps count of where
 * each record stands (place()); that count holds through a failure at an
 * include, after which reading may go on in the including file. */
class Reader {
  public:
    /* An empty path reads standard input. */
    explicit Reader(const std::string& path, bool roots_ok = false)
        : info_(ckpOpen(path.empty() ? nullptr : path.c_str(), "R")) {
        if (info_ == nullptr) {
            detail::fail("ckpOpen");
        }
        ckpSetRootsAreOK(info_, roots_ok ? 1 : 0);
    }
    /* Takes over a read handle opened otherwise (ckpxOpenStream); a NULL
     * handle throws with the library's message. */
    explicit Reader(ckpInfo* handle, bool roots_ok = false) : info_(handle) {
        if (info_ == nullptr) {
            detail::fail("ckpxOpenStream");
        }
        ckpSetRootsAreOK(info_, roots_ok ? 1 : 0);
    }
    ~Reader() { release(); }
    Reader(Reader&& other) noexcept
        : info_(std::exchange(other.info_, nullptr)), walk_(std::move(other.walk_)) {}
    Reader& operator=(Reader&& other) noexcept {
        if (this != &other) {
            release();
            info_ = std::exchange(other.info_, nullptr);
            walk_ = std::move(other.walk_);
        }
        return *this;
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    /* Without following, an include record is handed out but its file is
     * not read: the next record is the one after it. */
    void follow_includes(bool follow) noexcept { walk_.follow = follow; }

    /* Reads the next record as the library hands it out; false at the end
     * of the main file. An included file's header comes twice in a row:
     * once from the include, once more when its file starts (repeated()). */
    bool next() {
        bool entering = walk_.previous == Type::Include;
        if (entering && !walk_.follow) {
            ckpSetScan(info_, 0, ckpScanPastInclude, nullptr);
        }
        walk_.previous = Type::Error; // until a record comes
        int delivered = ckpGets(info_);
        Type type = static_cast<Type>(ckpGetType(info_));
        if (type == Type::End) {
            return false;
        }
        if (type == Type::Error || delivered == 0) {
            detail::fail("ckpGets");
        }
        take(type, entering && walk_.follow);
        return true;
    }
    /* Reads the next record of a file, each once: the repeated header of an
     * included file is passed over. */
    bool next_record() {
        while (next()) {
            if (!walk_.repeat) {
                return true;
            }
        }
        return false;
    }
    /* Whether the current record is the included file's header handed out
     * a second time. */
    bool repeated() const noexcept { return walk_.repeat; }
    const Place& place() const noexcept { return walk_.place; }
    Record record() { return Record(info_); }
    int syntax_version() const {
        int version = -3;
        ckpGetSyntax(info_, nullptr, &version);
        return version;
    }
    ckpInfo* handle() const noexcept { return info_; }

    class iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Record;
        using difference_type = std::ptrdiff_t;
        using pointer = const Record*;
        using reference = const Record&;

        iterator() = default;
        explicit iterator(Reader* reader) : reader_(reader), record_(reader->record()) { step(); }
        reference operator*() const { return *record_; }
        pointer operator->() const { return &*record_; }
        iterator& operator++() {
            step();
            return *this;
        }
        void operator++(int) { step(); }
        friend bool operator==(const iterator& a, const iterator& b) {
            return a.reader_ == b.reader_;
        }
        friend bool operator!=(const iterator& a, const iterator& b) { return !(a == b); }

      private:
        void step() {
            if (!reader_->next()) {
                reader_ = nullptr;
            }
        }
        Reader* reader_ = nullptr;
        std::optional<Record> record_;
    };

    iterator begin() { return iterator(this); }
    iterator end() { return iterator(); }

  private:
    /* What the reader counts from record to record. */
    struct Walk {
        bool follow = true;
        Type previous = Type::End;   /* the last record handed out */
        bool includedHeader = false; /* it is the header of a file just included */
        bool repeat = false;         /* the current record is that header again */
        Place place;
        /* Per open file, outermost first: the line its last record ended on. */
        std::vector<long long> ends{0};
    };

    /* Counts a record in: an included file starts with its header (a
     * missing file is a syntax record of the including file instead). */
    void take(Type type, bool entering) {
        walk_.previous = type;
        walk_.repeat = type == Type::Header && walk_.includedHeader;
        walk_.includedHeader = type == Type::Header && entering;
        if (walk_.repeat) {
            return;
        }
        if (walk_.includedHeader) {
            walk_.ends.push_back(0);
        } else if (type == Type::EndInclude && walk_.ends.size() > 1) {
            walk_.ends.pop_back();
        }
        long long last = 0;
        ckpxRecordLines(info_, nullptr, &last);
        long long& before = walk_.ends.back();
        long long first = last > before && type != Type::EndInclude ? before + 1 : last;
        before = before > last ? before : last;
        walk_.place = Place{first, last, static_cast<int>(walk_.ends.size() - 1)};
    }

    void release() noexcept {
        if (info_ != nullptr) {
            ckpClose(info_);
            info_ = nullptr;
        }
    }

    ckpInfo* info_ = nullptr;
    Walk walk_;
};

/* A write handle. Each record-starting call first puts the record begun
 * before it, so a record needs no explicit end:
 *
 *   ckp::Writer out("out.ckpt");
 *   out.write_header();
 *   out.object("cell/a").prop("owner", "alice").flag("locked");
 *   out.close();
 *
 * A file written by path is replaced in one step, and only when the write
 * finished cleanly (see kvoReplaceBegin in kvo.h): until then it keeps its
 * old content, and then it holds the whole new one.
 *  - close() puts the last record, closes and publishes; it throws when
 *    any of that fails, and the file is then left as it was.
 *  - A failed call (one that threw) discards the write at once: the file
 *    keeps its old content, later calls throw, and close() throws too.
 *  - discard() drops what was written; the file keeps its old content.
 *  - The destructor publishes quietly when every call succeeded, and
 *    discards when one failed or when the Writer is destroyed by an
 *    exception unwinding past it.
 * An empty path writes standard output, and `append` appends to the file
 * in place: both write at once, so nothing can be taken back there; a
 * failed call only throws, and the writer goes on. */
class Writer {
  public:
    /* The record being built; its properties are added in order. */
    class RecordBuilder {
      public:
        RecordBuilder& prop(const char* name, const char* value) {
            if (ckpPutProp(writer_->live("ckpPutProp"), name, value) == 0) {
                writer_->failed("ckpPutProp");
            }
            return *this;
        }
        RecordBuilder& prop(std::string_view name, std::string_view value) {
            return prop(std::string(name).c_str(), std::string(value).c_str());
        }
        RecordBuilder& flag(std::string_view name) {
            return prop(std::string(name).c_str(), nullptr);
        }

      private:
        friend class Writer;
        explicit RecordBuilder(Writer* writer) : writer_(writer) {}
        Writer* writer_;
    };

    /* An empty path writes standard output. */
    explicit Writer(const std::string& path, bool append = false)
        : path_(path), exceptions_(std::uncaught_exceptions()) {
        if (path.empty() || append) {
            info_ = ckpOpen(path.empty() ? nullptr : path.c_str(), append ? "A" : "W");
            if (info_ == nullptr) {
                detail::fail("ckpOpen");
            }
            return;
        }
        int errnum = 0;
        replacement_ = kvoReplaceBegin(path.c_str(), 0, &errnum);
        if (replacement_ == nullptr) {
            throw Error("kvoReplaceBegin", path + ": " + std::strerror(errnum));
        }
        info_ = ckpxOpenStream(kvoReplaceStream(replacement_), path.c_str(), "W");
        if (info_ == nullptr) {
            Error error("ckpxOpenStream", ckpGetError());
            kvoReplaceAbort(std::exchange(replacement_, nullptr));
            throw error;
        }
    }
    ~Writer() {
        if (info_ == nullptr) {
            return;
        }
        if (std::uncaught_exceptions() > exceptions_) {
            discard();
            return;
        }
        bool ok = !pending_ || ckpPuts(info_) != 0;
        ok = ckpClose(std::exchange(info_, nullptr)) == 0 && ok;
        if (!ok) {
            kvoReplaceAbort(std::exchange(replacement_, nullptr));
        } else if (replacement_ != nullptr) {
            kvoReplaceCommit(std::exchange(replacement_, nullptr));
        }
    }
    Writer(Writer&& other) noexcept
        : path_(std::move(other.path_)), info_(std::exchange(other.info_, nullptr)),
          replacement_(std::exchange(other.replacement_, nullptr)),
          pending_(std::exchange(other.pending_, false)),
          failed_(std::exchange(other.failed_, false)), exceptions_(std::uncaught_exceptions()) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    Writer& operator=(Writer&&) = delete;

    RecordBuilder write_header() {
        return begin(ckpCreateHdr(live("ckpCreateHdr")), "ckpCreateHdr");
    }
    RecordBuilder object(std::string_view path) {
        put();
        return begin(ckpCreateObj(live("ckpCreateObj"), std::string(path).c_str()), "ckpCreateObj");
    }
    RecordBuilder config_path(std::string_view path) {
        put();
        return begin(ckpSetConfigPath(live("ckpSetConfigPath"), std::string(path).c_str()),
                     "ckpSetConfigPath");
    }
    RecordBuilder sub_dir(std::string_view path) {
        put();
        return begin(ckpSetSubDir(live("ckpSetSubDir"), std::string(path).c_str()), "ckpSetSubDir");
    }
    /* A raw record: a comment (";" added) or a record text as it stands. */
    void raw(const std::string& text, bool comment) {
        put();
        begin(ckpRecord(live("ckpRecord"), text.c_str(), comment ? 1 : 0), "ckpRecord");
    }
    /* A copy of a record read elsewhere; properties may still be added. */
    RecordBuilder transfer(const Record& record) {
        put();
        return begin(ckpXfer(record.handle(), live("ckpXfer")), "ckpXfer");
    }
    /* Writes the record begun, if any. */
    void put() {
        if (pending_) {
            pending_ = false;
            if (ckpPuts(live("ckpPuts")) == 0) {
                failed("ckpPuts");
            }
        }
    }
    /* Puts the last record, closes, and publishes a file written by path. */
    void close() {
        if (failed_) {
            throw Error("close", "nothing was written to " + path_ +
                                     ": the write was discarded after a failed call");
        }
        put();
        ckpInfo* info = std::exchange(info_, nullptr);
        if (info != nullptr && ckpClose(info) != 0) {
            Error error("ckpClose", ckpGetError());
            kvoReplaceAbort(std::exchange(replacement_, nullptr));
            throw error;
        }
        if (replacement_ != nullptr) {
            int errnum = kvoReplaceCommit(std::exchange(replacement_, nullptr));
            if (errnum != 0) {
                throw Error("kvoReplaceCommit", path_ + ": " + std::strerror(errnum));
            }
        }
    }
    /* Drops what was written to a file by path, which keeps its old content;
     * standard output and an appended file keep what reached them. The
     * writer is closed afterwards (a later close() does nothing). */
    void discard() noexcept {
        if (info_ != nullptr) {
            ckpClose(std::exchange(info_, nullptr));
        }
        if (replacement_ != nullptr) {
            kvoReplaceAbort(std::exchange(replacement_, nullptr));
        }
        pending_ = false;
    }
    ckpInfo* handle() const noexcept { return info_; }

  private:
    RecordBuilder begin(int ok, const char* operation) {
        if (ok == 0) {
            failed(operation);
        }
        pending_ = true;
        return RecordBuilder(this);
    }
    // The handle, or a throw when the writer is closed or discarded.
    ckpInfo* live(const char* operation) const {
        if (info_ == nullptr) {
            throw Error(operation, failed_ ? "the write was discarded after a failed call"
                                           : "the writer is closed");
        }
        return info_;
    }
    // Throws the library's message; a write by path is discarded first.
    [[noreturn]] void failed(const char* operation) {
        Error error(operation, ckpGetError());
        if (replacement_ != nullptr) {
            discard();
            failed_ = true;
        }
        throw error;
    }

    std::string path_;
    ckpInfo* info_ = nullptr;
    kvoReplacement* replacement_ = nullptr; // a file written by path, until published
    bool pending_ = false;
    bool failed_ = false; // a failed call discarded the write
    int exceptions_ = 0;  // exceptions unwinding when the writer was made
};

/* The lock that editors of a file take beside it (kvoLockFile), held while
 * the object lives; a failure names the lock file and the reason. */
class FileLock {
  public:
    explicit FileLock(const std::string& file) {
        int errnum = 0;
        char* lockPath = nullptr;
        lock_ = kvoLockFileNamed(file.c_str(), &errnum, &lockPath);
        if (lock_ == nullptr) {
            std::string named = lockPath != nullptr ? lockPath : file;
            kvoFree(lockPath);
            throw Error("kvoLockFile", "cannot lock " + named + ": " + kvoStrError(errnum));
        }
        kvoFree(lockPath);
    }
    ~FileLock() { kvoUnlockFile(lock_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    kvoFileLock* lock_;
};

/* A named setup in the library's registry. The object names it and
 * remembers what was loaded: clear() removes it from memory. Failures throw
 * with the messages the setup store reported.
 *
 * A save without a path of a loaded setup edits its file: only the entries
 * changed since the load (or the last such save) are written, into the file
 * as it is on disk now, under the file's lock (see ckpcxx.h). Comments, the
 * order and text of every other record and the line ends stay; an entry
 * changed in the file meanwhile too fails the save, which writes nothing. A
 * save to another file, or of a setup made by create() or by the
 * constructor, writes the whole setup as ckpSetupSave does, replacing the
 * file in one step. Link ckp::cxx (libckp_cxx) for the saves. */
class Setup {
  public:
    /* A property's value; a flag has none. */
    using Value = std::optional<std::string>;

    explicit Setup(std::string name) : name_(std::move(name)) {}

    /* Loads by path or through a search group (NULL: the default group). A
     * setup in memory already is not read again; what it holds then counts
     * as loaded. */
    static Setup load(const std::string& name, const char* group = nullptr) {
        detail::ReportCapture capture;
        int ok = group != nullptr ? ckpSetupLoadGroup(std::string(name).c_str(), group)
                                  : ckpSetupLoad(std::string(name).c_str());
        check(ok, "ckpSetupLoad", capture, name);
        Setup setup(name);
        setup.file_ = fileOf(name, group);
        setup.loaded_ = std::make_shared<Entries>(setup.all());
        return setup;
    }
    static Setup create(const std::string& name) {
        detail::ReportCapture capture;
        check(ckpSetupCreate(std::string(name).c_str()), "ckpSetupCreate", capture, name);
        return Setup(name);
    }
    /* Loads the setup under its file's lock, hands it to change, saves it
     * when change returns and drops it from memory, saved or not. A setup
     * of that name in memory already (with entries) is refused. */
    template <class Change>
    static void edit(const std::string& name, Change&& change, const char* group = nullptr) {
        std::string file = fileOf(name, group);
        if (file.empty()) {
            throw Error("ckpSetupLoad", "ckpSetupLoad failed for \"" + name + "\"");
        }
        if (kvoIsRegularFile(file.c_str()) == 0) { // loading a FIFO would wait for a writer
            throw Error("edit", "cannot edit " + file + ": not a regular file");
        }
        // A setup in memory would not be read again, and the edit would
        // drop its holder's unsaved changes.
        if (kvoStrlist* held = ckpSetupGetEntryList(std::string(name).c_str())) {
            kvoFreeStrlist(held);
            throw Error("edit", "setup \"" + name + "\" is loaded already; save or clear it first");
        }
        FileLock lock(file);
        Setup setup = load(name, group);
        try {
            change(setup);
            setup.save();
        } catch (...) {
            ckpSetupClear(std::string(name).c_str());
            throw;
        }
        setup.clear();
    }
    const std::string& name() const noexcept { return name_; }

    /* An empty path saves where the setup was loaded from; "-" dumps it. */
    void save(const std::string& path = std::string()) const {
        if (loaded_ && (path.empty() || sameFile(path, file_))) {
            saveChanges();
            return;
        }
        detail::ReportCapture capture;
        check(ckpSetupSave(name_.c_str(), path.empty() ? nullptr : path.c_str()), "ckpSetupSave",
              capture);
    }
    void clear() {
        detail::ReportCapture capture;
        check(ckpSetupClear(name_.c_str()), "ckpSetupClear", capture);
        loaded_.reset();
    }

    std::vector<std::string> entries() const {
        detail::ReportCapture capture;
        kvoStrlist* list = ckpSetupGetEntryList(name_.c_str());
        std::vector<std::string> names;
        if (list == nullptr) {
            return names; // the store has no list for a setup without entries
        }
        try {
            for (kvoStrlist* at = list; *at != nullptr; ++at) {
                names.emplace_back(*at);
            }
        } catch (...) {
            kvoFreeStrlist(list);
            throw;
        }
        kvoFreeStrlist(list);
        return names;
    }
    bool has_entry(std::string_view entry) const {
        detail::ReportCapture capture;
        return ckpSetupGetEntry(name_.c_str(), std::string(entry).c_str()) != 0;
    }
    /* A type becomes the entry's "entrytype" property. */
    void create_entry(std::string_view entry, const char* type = nullptr) {
        detail::ReportCapture capture;
        check(ckpSetupCreateEntry(name_.c_str(), std::string(entry).c_str(), type),
              "ckpSetupCreateEntry", capture);
    }
    void erase_entry(std::string_view entry) {
        detail::ReportCapture capture;
        check(ckpSetupDelEntry(name_.c_str(), std::string(entry).c_str()), "ckpSetupDelEntry",
              capture, entry);
    }

    /* Properties in the entry's order; a flag has no value. */
    std::vector<std::pair<std::string, Value>> props(std::string_view entry) const {
        detail::ReportCapture capture;
        char** names = nullptr;
        char** values = nullptr;
        check(ckpSetupGetAllProps(name_.c_str(), std::string(entry).c_str(), &names, &values),
              "ckpSetupGetAllProps", capture);
        std::vector<std::pair<std::string, Value>> all;
        try {
            for (std::size_t i = 0; names != nullptr && names[i] != nullptr; ++i) {
                all.emplace_back(names[i], values[i] != nullptr ? Value(values[i]) : std::nullopt);
            }
        } catch (...) {
            freeArrays(names, values);
            throw;
        }
        freeArrays(names, values);
        return all;
    }
    /* A property of an entry: nullopt when the entry (or the property) is
     * missing, else its value, which is itself nullopt for a flag:
     *
     *   if (auto p = team.get("bob", "remote")) { bool flag = !p->has_value(); }
     */
    std::optional<Value> get(std::string_view entry, std::string_view name) const {
        detail::ReportCapture capture;
        char* value = nullptr;
        if (ckpSetupGetProp(name_.c_str(), std::string(entry).c_str(), std::string(name).c_str(),
                            &value) == 0) {
            return std::nullopt;
        }
        std::optional<Value> result;
        try {
            result = value != nullptr ? Value(value) : Value();
        } catch (...) {
            std::free(value);
            throw;
        }
        std::free(value);
        return result;
    }
    /* Sets a property, making the entry first when it is new; a null value
     * makes a flag. */
    void set(std::string_view entry, std::string_view name, const char* value) {
        detail::ReportCapture capture;
        if (ckpSetupGetEntry(name_.c_str(), std::string(entry).c_str()) == 0) {
            check(ckpSetupCreateEntry(name_.c_str(), std::string(entry).c_str(), nullptr),
                  "ckpSetupCreateEntry", capture);
        }
        check(ckpSetupSetProp(name_.c_str(), std::string(entry).c_str(), std::string(name).c_str(),
                              value),
              "ckpSetupSetProp", capture);
    }
    void set(std::string_view entry, std::string_view name, std::string_view value) {
        set(entry, name, std::string(value).c_str());
    }
    void erase(std::string_view entry, std::string_view name) {
        detail::ReportCapture capture;
        check(ckpSetupDelProp(name_.c_str(), std::string(entry).c_str(), std::string(name).c_str()),
              "ckpSetupDelProp", capture, entry, name);
    }

  private:
    /* A failure the store left without a message names what was missing:
     * the setup, the entry or the property. */
    void check(int ok, const char* operation, const detail::ReportCapture& capture,
               std::optional<std::string_view> entry = std::nullopt,
               std::optional<std::string_view> prop = std::nullopt) const {
        if (ok != 0 || !capture.joined().empty() || !entry) {
            check(ok, operation, capture, name_);
            return;
        }
        throw Error(operation, std::string(operation) + " failed for \"" + name_ +
                                   "\": " + missing(*entry, prop));
    }
    std::string missing(std::string_view entry, std::optional<std::string_view> prop) const {
        std::string quotedEntry = "\"" + std::string(entry) + "\"";
        if (ckpSetupGetEntry(name_.c_str(), std::string(entry).c_str()) == 0) {
            return "no entry " + quotedEntry;
        }
        return prop ? "entry " + quotedEntry + " has no property \"" + std::string(*prop) + "\""
                    : "entry " + quotedEntry + " could not be changed";
    }
    /* The store fails some calls without a message (a setup not found);
     * the exception then names the setup. */
    static void check(int ok, const char* operation, const detail::ReportCapture& capture,
                      const std::string& name) {
        if (ok == 0) {
            std::string message = capture.joined();
            throw Error(operation, message.empty()
                                       ? std::string(operation) + " failed for \"" + name + "\""
                                       : message);
        }
    }
    static void freeArrays(char** names, char** values) {
        for (std::size_t i = 0; names != nullptr && names[i] != nullptr; ++i) {
            std::free(names[i]);
            std::free(values[i]);
        }
        std::free(names);
        std::free(values);
    }

    using Props = std::vector<std::pair<std::string, Value>>;
    using Entries = std::vector<std::pair<std::string, Props>>;

    Entries all() const {
        Entries entries;
        for (std::string& entry : this->entries()) {
            Props p = props(entry);
            entries.emplace_back(std::move(entry), std::move(p));
        }
        return entries;
    }
    /* Applies the changes since *loaded_ to the file as it is now; what was
     * saved is then what counts as loaded. */
    void saveChanges() const {
        Entries now = all();
        std::vector<ckpcxxEntry> entries;
        std::vector<std::vector<const char*>> texts;
        for (const auto& [entry, props] : *loaded_) {
            std::vector<const char*>& t = texts.emplace_back();
            for (const auto& [prop, value] : props) {
                t.push_back(prop.c_str());
            }
            for (const auto& [prop, value] : props) {
                t.push_back(value ? value->c_str() : nullptr);
            }
            entries.push_back({entry.c_str(), props.size(), t.data(), t.data() + props.size()});
        }
        char* message = nullptr;
        if (ckpcxxSaveChanges(name_.c_str(), file_.c_str(), entries.data(), entries.size(),
                              &message) == 0) {
            std::string text = message != nullptr ? message : "out of memory";
            std::free(message);
            throw Error("ckpcxxSaveChanges", text);
        }
        *loaded_ = std::move(now);
    }
    /* Whether two names lead to one file: the loaded file saved under
     * another spelling (absolute, through a link) is still an edit of it. */
    static bool sameFile(const std::string& path, const std::string& other) {
        std::error_code ec;
        return path == other || std::filesystem::equivalent(path, other, ec);
    }
    /* The file a load of this name reads, found as the store finds it;
     * empty when there is none. */
    static std::string fileOf(const std::string& name, const char* group) {
        if (kvoFileExists(name.c_str()) != 0) {
            return name;
        }
        char* found = kvoSearchGroupPath(name.c_str(), group != nullptr ? group : "kvosetup");
        std::string file = found != nullptr ? found : "";
        kvoFree(found);
        return file;
    }

    std::string name_;
    std::string file_;                // where the load read from
    std::shared_ptr<Entries> loaded_; // what it read; none for a new setup
};

} // namespace ckp

#endif /* CKP_CKP_HPP */
