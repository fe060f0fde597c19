#include "reading.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ckp/ckp.hpp"
#include "ckp/ckpx.h"

namespace ckppy {
namespace {

constexpr int typeCodes = ckpTypeEnd + 1;
PyObject* typeMembers[typeCodes] = {}; // owned for the life of the process

py::object typeObject(int code) {
    if (code >= 0 && code < typeCodes && typeMembers[code] != nullptr) {
        return py::reinterpret_borrow<py::object>(typeMembers[code]);
    }
    return py::int_(code);
}

// Records that name a path; the others leave the last path on the handle.
bool hasPath(int type) {
    return type == ckpTypeNone || type == ckpTypeObject || type == ckpTypeInclude ||
           type == ckpTypeConfigPath || type == ckpTypeSubDir || type == ckpTypeSyntax;
}

py::object propsOf(ckpInfo* info) {
    py::list props;
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(info, &id, &name, &value) != 0) {
        py::tuple pair(2);
        PyTuple_SET_ITEM(pair.ptr(), 0, text(name).release().ptr());
        PyTuple_SET_ITEM(pair.ptr(), 1, text(value).release().ptr());
        if (PyList_Append(props.ptr(), pair.ptr()) != 0) {
            throw py::error_already_set();
        }
    }
    return props;
}

// The library's own data of a syntax error: its message, line and column.
py::object syntaxError(ckpInfo* info) {
    long long line = 0;
    int column = 0;
    const char* message = nullptr;
    ckpxSyntaxError(info, &line, &column, &message, nullptr);
    return py::make_tuple(text(message != nullptr ? message : ""), line, column);
}

class Reader {
  public:
    Reader(py::object path, bool followIncludes) : state_(std::make_shared<ReaderState>()) {
        std::string name = path.is_none() ? std::string() : bytesOf(path, "path");
        Capture capture;
        ckpInfo* info = ckpOpen(path.is_none() ? nullptr : name.c_str(), "R");
        if (info == nullptr) {
            fail("ckpOpen", capture);
        }
        state_->reader.emplace(info);
        state_->reader->follow_includes(followIncludes);
    }

    Record next() {
        if (!state_->reader) {
            throw py::stop_iteration();
        }
        ckp::Reader& reader = *state_->reader;
        Capture capture;
        bool more = false;
        try {
            more = reader.next_record();
        } catch (const ckp::Error& e) {
            std::string message = e.what();
            close();
            fail("ckpGets", message);
        }
        if (!more) {
            close();
            throw py::stop_iteration();
        }
        warnAbout(capture);
        return build(reader.handle(), reader.place());
    }

    void close() noexcept { state_->reader.reset(); }

  private:
    Record build(ckpInfo* info, const ckp::Place& place) {
        int type = ckpGetType(info);
        Record record;
        record.type = typeObject(type);
        record.path = hasPath(type) ? text(ckpGetObjPath(info)) : py::none();
        record.props = propsOf(info);
        record.file = currentFile(info);
        record.endLine = place.end_line;
        record.line = place.line;
        record.error = type == ckpTypeSyntax ? syntaxError(info) : py::none();
        record.source = state_;
        record.serial = ++state_->serial;
        return record;
    }

    py::object currentFile(ckpInfo* info) {
        char* name = nullptr;
        if (ckpGetName(info, 1, &name) == 0 || name == nullptr) {
            name = const_cast<char*>("-");
        }
        if (!fileName_ || fileBytes_ != name) {
            fileBytes_ = name;
            fileName_ = text(name);
        }
        return fileName_;
    }

    std::shared_ptr<ReaderState> state_;
    std::string fileBytes_;
    py::object fileName_;
};

py::object recordRepr(const Record& record) {
    py::str form("<ckp.Record {} {!r} {}:{}>");
    return form.format(py::str(record.type.attr("name")), record.path, record.file, record.endLine);
}

} // namespace

ckpInfo* Record::currentHandle() const {
    std::shared_ptr<ReaderState> state = source.lock();
    return state && state->serial == serial ? state->handle() : nullptr;
}

void registerTypes(py::handle typeEnum) {
    for (int code = 0; code < typeCodes; ++code) {
        try {
            typeMembers[code] = typeEnum(code).release().ptr();
        } catch (const py::error_already_set&) {
            typeMembers[code] = nullptr; // a code that names no record
        }
    }
}

void bindReading(py::module_& module) {
    py::class_<Record>(module, "Record",
                       "One record, as read. A snapshot: it stays valid after the reader "
                       "moves on.")
        .def_readonly("type", &Record::type, "The record's type (ckp.Type).")
        .def_readonly("path", &Record::path,
                      "The path it names; None for a record that names "
                      "none.")
        .def_readonly("props", &Record::props,
                      "The properties in file order: (name, value) pairs, value None for a flag.")
        .def_readonly("file", &Record::file, "The file it was read from.")
        .def_readonly("line", &Record::line, "Its first physical line.")
        .def_readonly("end_line", &Record::endLine, "Its last physical line.")
        .def_readonly("error", &Record::error,
                      "For a syntax record: (message, line, column) of the fault; None otherwise.")
        .def("__repr__", &recordRepr);
    py::class_<Reader>(module, "Reader",
                       "The records of a file, one after the other; made by ckp.read(). The "
                       "file is closed at its end, by close(), or when the reader is dropped.")
        .def(py::init<py::object, bool>(), py::arg("path"), py::arg("follow_includes"))
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &Reader::next, "The next record; raises ckp.Error when reading fails.")
        .def("close", &Reader::close, "Closes the file; the reader then ends.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Reader& self, py::args) { self.close(); });
    module.def("_register_types", &registerTypes);
}

} // namespace ckppy
