// Writing from Python: a write handle whose every call writes one whole
// record, the publication of a finished file through a safe replacement, and
// the canonical form of a file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "ckp/ckp.hpp"
#include "ckp/ckpx.h"
#include "format_text.hpp"
#include "reading.hpp"

namespace ckppy {
namespace {

// A file by path is written through a replacement and published by
// close() only; without a path the records go to an anonymous scratch
// file whose content close() hands back (for standard output, written
// where Python writes).
class Writer {
  public:
    explicit Writer(py::handle path) {
        Capture capture;
        std::FILE* stream = nullptr;
        if (path.is_none()) {
            scratch_ = std::tmpfile();
            if (scratch_ == nullptr) {
                fail("tmpfile", std::string("no scratch file: ") + std::strerror(errno));
            }
            stream = scratch_;
        } else {
            target_ = bytesOf(path, "path");
            int errnum = 0;
            replacement_ = kvoReplaceBegin(target_.c_str(), 0, &errnum);
            if (replacement_ == nullptr) {
                fail("kvoReplaceBegin", target_ + ": " + std::strerror(errnum));
            }
            stream = kvoReplaceStream(replacement_);
        }
        info_ = ckpxOpenStream(stream, path.is_none() ? nullptr : target_.c_str(), "W");
        if (info_ == nullptr) {
            drop();
            fail("ckpxOpenStream", capture);
        }
    }
    ~Writer() { drop(); }
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

    // Publishes the file (None), or hands back what the scratch file
    // holds. A failure leaves the file as it was.
    py::object close() {
        ckpInfo* info = handle();
        info_ = nullptr;
        Capture capture;
        if (ckpClose(info) != 0) {
            drop();
            fail("ckpClose", capture);
        }
        if (scratch_ != nullptr) {
            return takeScratch();
        }
        int errnum = kvoReplaceCommit(std::exchange(replacement_, nullptr));
        if (errnum != 0) {
            fail("kvoReplaceCommit", target_ + ": " + std::strerror(errnum));
        }
        return py::none();
    }

    // Drops what was written; the file keeps its old content.
    void discard() { drop(); }

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

    void drop() noexcept {
        if (info_ != nullptr) {
            Capture quiet; // what is dropped fails without a word
            ckpClose(std::exchange(info_, nullptr));
        }
        if (replacement_ != nullptr) {
            kvoReplaceAbort(std::exchange(replacement_, nullptr));
        }
        if (scratch_ != nullptr) {
            std::fclose(std::exchange(scratch_, nullptr));
        }
    }

    py::bytes takeScratch() {
        std::string text;
        char block[65536];
        std::rewind(scratch_);
        std::size_t got = 0;
        while ((got = std::fread(block, 1, sizeof block, scratch_)) > 0) {
            text.append(block, got);
        }
        bool ok = std::ferror(scratch_) == 0;
        drop();
        if (!ok) {
            fail("close", "cannot read back what was written");
        }
        return py::bytes(text);
    }

    ckpInfo* info_ = nullptr;
    std::string target_;
    kvoReplacement* replacement_ = nullptr; // until published or dropped
    std::FILE* scratch_ = nullptr;
};

// The canonical form of `file`, made by the same code as `ckp fmt`: every
// record transferred, the records of included files left in their own
// files, a header given to a file without one, every comment kept. Syntax
// errors fail it, all of them named in the message.
// The canonical text of a file, or of bytes standing for a file named
// `name` (nullopt: read the file itself).
py::bytes formatted(const std::string& name, const std::optional<std::string>& bytes,
                    bool followIncludes) {
    Capture capture;
    std::string errors;
    auto collect = [&errors](const ckp::SyntaxError& error) {
        errors += (errors.empty() ? "" : "\n") + error.file + ":" + std::to_string(error.line) +
                  ":" + std::to_string(error.column) + ": " + error.message;
    };
    ckptool::Formatted result;
    try {
        result = bytes ? ckptool::formatBytes(name, *bytes, collect, followIncludes)
                       : ckptool::formatText(name, collect, followIncludes);
    } catch (const ckp::Error& e) {
        std::string message = capture.joined();
        fail(e.operation().c_str(), message.empty() ? std::string(e.what()) : message);
    } catch (const std::exception& e) {
        fail("format", e.what());
    }
    if (!errors.empty()) {
        fail("format", errors);
    }
    return py::bytes(result.text);
}

py::bytes formatFile(py::handle file, bool followIncludes) {
    return formatted(bytesOf(file, "path"), std::nullopt, followIncludes);
}

// Text in memory, named `name` in messages; its includes are not read.
py::bytes formatBytes(const py::bytes& data, py::handle name) {
    return formatted(bytesOf(name, "name"), std::string(data), false);
}

} // namespace

void bindWriting(py::module_& module) {
    py::class_<Writer>(module, "Writer")
        .def(py::init<py::handle>())
        .def("header", &Writer::header)
        .def("record", &Writer::record)
        .def("comment", &Writer::comment)
        .def("transfer", &Writer::transfer)
        .def("close", &Writer::close)
        .def("discard", &Writer::discard);
    module.def("format_file", &formatFile);
    module.def("format_bytes", &formatBytes);
}

} // namespace ckppy
