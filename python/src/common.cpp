#include "common.hpp"

#include <cstring>

namespace ckppy {
namespace {

// Borrowed for the life of the process: the classes live in the ckp module,
// which is never unloaded.
PyObject* errorClass = nullptr;
PyObject* warningClass = nullptr;

} // namespace

py::object text(const char* bytes) {
    if (bytes == nullptr) {
        return py::none();
    }
    return text(bytes, std::strlen(bytes));
}

py::object text(const char* bytes, std::size_t size) {
    PyObject* str = PyUnicode_DecodeUTF8(bytes, static_cast<Py_ssize_t>(size), "surrogateescape");
    if (str == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::object>(str);
}

std::string bytesOf(py::handle value, const char* what) {
    if (!PyUnicode_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be str");
    }
    PyObject* encoded = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape");
    if (encoded == nullptr) {
        throw py::error_already_set();
    }
    py::bytes owner = py::reinterpret_steal<py::bytes>(encoded);
    std::string bytes(PyBytes_AS_STRING(encoded),
                      static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
    if (bytes.find('\0') != std::string::npos) {
        throw py::value_error(std::string(what) + " must not contain NUL");
    }
    return bytes;
}

Capture::Capture() {
    kvoGetReportHandler(&previous_, &previousData_);
    kvoSetReportHandler(&Capture::collect, this);
}

Capture::~Capture() {
    kvoSetReportHandler(previous_, previousData_);
}

std::string Capture::joined() const {
    std::string all;
    for (const std::string& one : texts_) {
        all += all.empty() ? "" : "\n";
        all += one;
    }
    return all;
}

int Capture::collect(const char* text, void* self) {
    try {
        static_cast<Capture*>(self)->texts_.emplace_back(text != nullptr ? text : "");
        return 1;
    } catch (...) { // no exception may unwind through the C library
        return 0;
    }
}

void fail(const char* operation, const Capture& capture) {
    std::string message = capture.joined();
    fail(operation, message.empty() ? std::string(ckpGetError()) : message);
}

void fail(const char* operation, std::string message) {
    throw Failure{operation, std::move(message)};
}

void warnAbout(const Capture& capture) {
    if (capture.texts().empty() || warningClass == nullptr) {
        return;
    }
    if (PyErr_WarnEx(warningClass, capture.joined().c_str(), 2) != 0) {
        throw py::error_already_set();
    }
}

void registerErrorClasses(py::handle errorType, py::handle warningType) {
    errorClass = errorType.inc_ref().ptr();
    warningClass = warningType.inc_ref().ptr();
    py::register_exception_translator([](std::exception_ptr raised) {
        try {
            if (raised) {
                std::rethrow_exception(raised);
            }
        } catch (const Failure& failure) {
            py::object error = py::reinterpret_borrow<py::object>(errorClass)(
                text(failure.message.c_str()), failure.operation);
            PyErr_SetObject(errorClass, error.ptr());
        }
    });
}

} // namespace ckppy

PYBIND11_MODULE(_ckp, module) {
    module.doc() = "The compiled part of the ckp package; use the package ckp.";
    module.attr("__version__") = CKP_PYTHON_VERSION;
    module.def("_register", &ckppy::registerErrorClasses);
    ckppy::bindReading(module);
    ckppy::bindWriting(module);
    ckppy::bindSetups(module);
}
