// Shared pieces of the Python binding: text in and out of Python, the
// capture of the library's reporter during a call, and failures raised as
// ckp.Error.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "ckp/ckp.h"

namespace ckppy {

namespace py = pybind11;

// A Python str from library bytes. Bytes that are not UTF-8 come through as
// surrogate escapes (as os.fsdecode does), so that they are written back
// unchanged; NULL gives None.
py::object text(const char* bytes);
py::object text(const char* bytes, std::size_t size);

// The bytes of a str for the library, surrogate escapes undone. The Python
// layer has refused non-str values and embedded NULs already; both are
// checked again here so that no bad argument reaches C.
std::string bytesOf(py::handle value, const char* what);

// Collects what the library hands to its reporter while it lives, instead of
// letting it reach standard error, and puts the previous reporter back.
class Capture {
  public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    const std::vector<std::string>& texts() const noexcept { return texts_; }
    void clear() noexcept { texts_.clear(); }
    std::string joined() const;

  private:
    static int collect(const char* text, void* self);

    kvoReportHandler previous_ = nullptr;
    void* previousData_ = nullptr;
    std::vector<std::string> texts_;
};

// A failed library call: the operation and the library's message.
struct Failure {
    std::string operation;
    std::string message;
};

// Throws the failure of `operation`: the captured messages, else the
// library's error text.
[[noreturn]] void fail(const char* operation, const Capture& capture);
[[noreturn]] void fail(const char* operation, std::string message);

// Raises captured messages of a call that succeeded as ckp.Warning.
void warnAbout(const Capture& capture);

// Installs the translation of Failure into the Python class ckp.Error and
// remembers the warning class; called once by ckp.py.
void registerErrorClasses(py::handle errorType, py::handle warningType);

void bindReading(py::module_& module);
void bindWriting(py::module_& module);
void bindSetups(py::module_& module);

} // namespace ckppy
