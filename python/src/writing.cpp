// Writing from Python: a write handle whose every call writes one whole
// record, the publication of a finished file through a safe replacement, and
// the canonical form of a file.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ckp/ckp.hpp"
#include "reading.hpp"

namespace ckppy {
namespace {

class Writer {
  public:
    explicit Writer(py::handle path) {
        std::string name = bytesOf(path, "path");
        Capture capture;
        info_ = ckpOpen(name.c_str(), "W");
        if (info_ == nullptr) {
            fail("ckpOpen", capture);
        }
    }
    ~Writer() {
        if (info_ != nullptr) {
            Capture quiet; // a writer dropped unclosed fails without a word
            ckpClose(info_);
        }
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void header(py::handle props) {
        Capture capture;
        begin(ckpCreateHdr(handle()), "ckpCreateHdr", capture);
        finish(props, capture);
    }

    // kind: 'o' object, 'c' config path, 's' subdirectory, 'i' include.
    void record(char kind, py::handle path, py::handle props) {
        std::string name = bytesOf(path, "path");
        Capture capture;
        ckpInfo* info = handle();
        switch (kind) {
        case 'c':
            begin(ckpSetConfigPath(info, name.c_str()), "ckpSetConfigPath", capture);
            break;
        case 's':
            begin(ckpSetSubDir(info, name.c_str()), "ckpSetSubDir", capture);
            break;
        default:
            begin(ckpCreateObj(info, name.c_str()), "ckpCreateObj", capture);
            if (kind == 'i') {
                put(CKP_PROP_INCLUDE, nullptr, capture);
            }
        }
        finish(props, capture);
    }

    void comment(py::handle line) {
        std::string bytes = bytesOf(line, "text");
        if (bytes.find_first_of("\r\n") != std::string::npos) {
            throw py::value_error("a comment is one line: text must not contain a line end");
        }
        Capture capture;
        begin(ckpRecord(handle(), bytes.c_str(), 1), "ckpRecord", capture);
        finish(py::list(), capture);
    }

    void transfer(const Record& record, py::handle props) {
        Capture capture;
        ckpInfo* source = record.currentHandle();
        if (source != nullptr) {
            begin(ckpXfer(source, handle()), "ckpXfer", capture);
        } else {
            rebuild(record, capture);
        }
        finish(props, capture);
    }

    void close() {
        ckpInfo* info = info_;
        info_ = nullptr;
        if (info != nullptr) {
            Capture capture;
            if (ckpClose(info) != 0) {
                fail("ckpClose", capture);
            }
        }
    }

  private:
    ckpInfo* handle() const {
        if (info_ == nullptr) {
            fail("write", "the writer is closed");
        }
        return info_;
    }

    // A record that is no longer its reader's current one is written again
    // from what it holds: its kind, path and properties.
    void rebuild(const Record& record, const Capture& capture) {
        int type = py::cast<int>(record.type);
        ckpInfo* info = handle();
        std::string path = record.path.is_none() ? std::string() : bytesOf(record.path, "path");
        if (type == ckpTypeHeader) {
            begin(ckpCreateHdr(info), "ckpCreateHdr", capture);
        } else if (type == ckpTypeObject || type == ckpTypeInclude) {
            begin(ckpCreateObj(info, path.c_str()), "ckpCreateObj", capture);
        } else if (type == ckpTypeConfigPath) {
            begin(ckpSetConfigPath(info, path.c_str()), "ckpSetConfigPath", capture);
        } else if (type == ckpTypeSubDir) {
            begin(ckpSetSubDir(info, path.c_str()), "ckpSetSubDir", capture);
        } else {
            fail("transfer", "this kind of record can be transferred only while it is its "
                             "reader's current record");
        }
        addProps(record.props, capture, true);
    }

    void begin(int ok, const char* operation, const Capture& capture) {
        if (ok == 0) {
            fail(operation, capture);
        }
    }

    void put(const char* name, const char* value, const Capture& capture) {
        if (ckpPutProp(info_, name, value) == 0) {
            fail("ckpPutProp", capture);
        }
    }

    // Adds (name, value) pairs, a None value making a flag. With
    // skipPresent, a property that the record holds already (a qualifier
    // that its record-starting call gave it) is passed over.
    void addProps(py::handle props, const Capture& capture, bool skipPresent = false) {
        for (py::handle pair : props) {
            py::tuple item = py::reinterpret_borrow<py::tuple>(pair);
            std::string name = bytesOf(item[0], "property name");
            char* held = nullptr;
            if (skipPresent && ckpGetProp(info_, name.c_str(), &held) != 0) {
                continue;
            }
            if (item[1].is_none()) {
                put(name.c_str(), nullptr, capture);
            } else {
                std::string value = bytesOf(item[1], "property value");
                put(name.c_str(), value.c_str(), capture);
            }
        }
    }

    void finish(py::handle props, const Capture& capture) {
        addProps(props, capture);
        if (ckpPuts(info_) == 0) {
            fail("ckpPuts", capture);
        }
        warnAbout(capture);
    }

    ckpInfo* info_ = nullptr;
};

struct File {
    std::FILE* stream;
    ~File() {
        if (stream != nullptr) {
            std::fclose(stream);
        }
    }
};

bool copyStream(std::FILE* from, std::FILE* to) {
    char block[65536];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, from)) > 0) {
        if (std::fwrite(block, 1, got, to) != got) {
            return false;
        }
    }
    return std::ferror(from) == 0;
}

// Puts the finished file `staged` at `target` through the library's safe
// replacement: the target holds its old content or the whole new one.
void publish(py::handle staged, py::handle target) {
    std::string from = bytesOf(staged, "staged");
    std::string to = bytesOf(target, "path");
    File source{std::fopen(from.c_str(), "rb")};
    if (source.stream == nullptr) {
        fail("publish", std::string("cannot read the staged file: ") + std::strerror(errno));
    }
    int errnum = 0;
    kvoReplacement* replacement = kvoReplaceBegin(to.c_str(), 0, &errnum);
    if (replacement == nullptr) {
        fail("kvoReplaceBegin", to + ": " + std::strerror(errnum));
    }
    if (!copyStream(source.stream, kvoReplaceStream(replacement))) {
        kvoReplaceAbort(replacement);
        fail("publish", to + ": cannot copy the new content");
    }
    errnum = kvoReplaceCommit(replacement);
    if (errnum != 0) {
        fail("kvoReplaceCommit", to + ": " + std::strerror(errnum));
    }
}

// The canonical form of `file` written to `out`, as the ckp fmt command
// makes it: every record transferred, the records of included files left in
// their own files, a header given to a file without one. Syntax errors fail
// it, all of them named in the message.
void formatFile(py::handle file, py::handle out, bool followIncludes) {
    std::string in = bytesOf(file, "path");
    std::string target = bytesOf(out, "path");
    Capture capture;
    std::string errors;
    try {
        ckp::Reader reader(in);
        ckp::Writer writer(target);
        int depth = 0;
        for (const ckp::Record& record : reader) {
            ckp::Type type = record.type();
            if (type == ckp::Type::Syntax) {
                ckp::SyntaxError error = record.syntax_error();
                errors += (errors.empty() ? "" : "\n") + error.file + ":" +
                          std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
                          error.message;
            } else if (type == ckp::Type::EndInclude) {
                --depth;
            } else if (type == ckp::Type::Include) {
                if (depth == 0) {
                    writer.transfer(record);
                }
                if (followIncludes) {
                    ++depth;
                } else {
                    ckpSetScan(reader.handle(), 0, 1, nullptr); // read on past it
                }
            } else if (depth > 0) {
                continue;
            } else if (type == ckp::Type::Header && reader.syntax_version() < 1) {
                writer.write_header();
            } else {
                writer.transfer(record);
            }
        }
        writer.close();
    } catch (const ckp::Error& e) {
        std::string message = capture.joined();
        fail(e.operation().c_str(), message.empty() ? std::string(e.what()) : message);
    }
    if (!errors.empty()) {
        fail("format", errors);
    }
}

} // namespace

void bindWriting(py::module_& module) {
    py::class_<Writer>(module, "Writer")
        .def(py::init<py::handle>())
        .def("header", &Writer::header)
        .def("record", &Writer::record)
        .def("comment", &Writer::comment)
        .def("transfer", &Writer::transfer)
        .def("close", &Writer::close);
    module.def("publish", &publish);
    module.def("format_file", &formatFile);
}

} // namespace ckppy
