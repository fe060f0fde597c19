// Reading from Python: a reader that hands out one Record object per record,
// built straight from the C API.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ckp/ckp.hpp"
#include "common.hpp"

namespace ckppy {

// What a reader and the records it handed out share: the open handle and
// the number of the current record, so that a record can tell whether it
// is still the handle's current one (which ckpXfer copies exactly).
struct ReaderState {
    std::optional<ckp::Reader> reader; // none once closed
    unsigned long serial = 0;
    ckpInfo* handle() const noexcept { return reader ? reader->handle() : nullptr; }
};

struct Record {
    py::object type;
    py::object path;
    py::object props;
    py::object file;
    long long line = 0;
    long long endLine = 0;
    py::object error;
    std::weak_ptr<ReaderState> source;
    unsigned long serial = 0;

    // The reader's handle when this record is still its current record.
    ckpInfo* currentHandle() const;
};

// Fills the table of Type members that records carry; called once by ckp.py.
void registerTypes(py::handle typeEnum);

} // namespace ckppy
