// Fuzz target, a round-trip oracle: the input is read as a checkpoint file,
// every data record of the main file is written into a second file (through
// ckpXfer, and object records every other time through ckpCreateObj and
// ckpPutProp), and every write that succeeds must read back equal: type,
// path, and properties in order with their values or flags. A record the
// writer refuses is not written and not compared.
//
// What is not compared: records that are not data (comments, syntax errors,
// the end of an include) and records read from an included file; the header
// of a file without one (syntax 0): the copy gets the header of
// ckpCreateHdr, and only the header's type is compared.
//
// Both the input and the copy then go through the placement oracle: their
// records must not depend on where their lines stand.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_common.hpp"
#include "fuzz_records.hpp"
#include "placement_oracle.hpp"

namespace {

using fuzzrec::inMainFile;
using fuzzrec::Prop;
using fuzzrec::Record;
using fuzzrec::takeRecord;

// Writes an object record through the record-starting call and ckpPutProp;
// false when the writer refused any part of it (nothing is then written).
bool writeAnew(ckpInfo* out, const Record& r) {
    if (ckpCreateObj(out, r.path.c_str()) != 1) {
        return false;
    }
    for (const Prop& p : r.props) {
        if (ckpPutProp(out, p.name.c_str(), p.flag ? nullptr : p.value.c_str()) != 1) {
            return false;
        }
    }
    return true;
}

// Writes the record; false when the writer refused it.
bool writeRecord(ckpInfo* in, ckpInfo* out, const Record& r, int n) {
    bool written =
        (r.type == ckpTypeObject && n % 2 == 1) ? writeAnew(out, r) : ckpXfer(in, out) == 1;
    if (written && ckpPuts(out) != 1) {
        std::abort();
    }
    return written;
}

bool isData(int type) {
    return type == ckpTypeHeader || type == ckpTypeObject || type == ckpTypeConfigPath ||
           type == ckpTypeSubDir || type == ckpTypeInclude;
}

// Reads a file to its end; with `out` given, writes the carriable records to
// it. Returns the records compared.
std::vector<Record> readAll(const std::string& path, ckpInfo* out, int* syntaxOut) {
    std::vector<Record> got;
    ckpInfo* in = ckpOpen(path.c_str(), "R");
    if (in == nullptr) {
        *syntaxOut = -9;
        return got;
    }
    int syntax = -9;
    (void)ckpGetSyntax(in, nullptr, &syntax);
    *syntaxOut = syntax;
    for (int n = 0; n < ckpfuzz::maxRecords; ++n) {
        if (ckpGets(in) == 0) {
            break;
        }
        int type = ckpGetType(in);
        if (type == ckpTypeEnd || type == ckpTypeError) {
            break;
        }
        if (n == 0 && out != nullptr && type != ckpTypeHeader) {
            // A faulty header: the copy gets a header of its own.
            if (ckpCreateHdr(out) != 1 || ckpPuts(out) != 1) {
                std::abort();
            }
            got.push_back(Record{ckpTypeHeader, "", {}});
        }
        if (!isData(type) || !inMainFile(in)) {
            continue;
        }
        Record r = takeRecord(in, type);
        if (out != nullptr && type == ckpTypeHeader && syntax == 0) {
            // The copy gets a header of its own, without properties.
            if (ckpCreateHdr(out) != 1 || ckpPuts(out) != 1) {
                std::abort();
            }
            r.props.clear();
            got.push_back(r);
            continue;
        }
        if (out != nullptr && !writeRecord(in, out, r, n)) {
            if (type == ckpTypeHeader) {
                if (ckpCreateHdr(out) != 1 || ckpPuts(out) != 1) {
                    std::abort();
                }
                r.props.clear();
                got.push_back(r);
            }
            continue;
        }
        got.push_back(r);
    }
    (void)ckpClose(in);
    return got;
}

// With CKP_FUZZ_EXPLAIN set, a mismatch prints both record lists.
void explain(const std::vector<Record>& first, const std::vector<Record>& second) {
    if (std::getenv("CKP_FUZZ_EXPLAIN") == nullptr) {
        return;
    }
    for (const auto* list : {&first, &second}) {
        std::fprintf(stderr, "--- %s read\n", list == &first ? "first" : "second");
        fuzzrec::printRecords(*list);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ckpfuzz::installQuietReporter();
    static bool dirsMade = false;
    if (!dirsMade) {
        (void)mkdir(ckpfuzz::scratchFile("in").c_str(), 0700);
        (void)mkdir(ckpfuzz::scratchFile("out").c_str(), 0700);
        dirsMade = true;
    }
    std::string inPath = ckpfuzz::scratchFile("in/in.ckpt");
    std::string outPath = ckpfuzz::scratchFile("out/out.ckpt");
    ckpfuzz::writeBytes(inPath, data, size);

    ckpInfo* out = ckpOpen(outPath.c_str(), "W");
    if (out == nullptr) {
        std::abort();
    }
    int syntax = -9;
    std::vector<Record> first = readAll(inPath, out, &syntax);
    if (ckpClose(out) != 0) {
        std::abort();
    }
    if (syntax < 0) {
        return 0; // the input is unreadable; so must be nothing else
    }
    const std::vector<Record>& expected = first;
    int syntax2 = -9;
    std::vector<Record> second = readAll(outPath, nullptr, &syntax2);
    if (syntax2 != 1 && !expected.empty()) {
        std::abort();
    }
    if (second != expected) {
        explain(expected, second);
        std::abort();
    }
    ckpfuzz::checkPlacement(inPath, std::string(reinterpret_cast<const char*>(data), size));
    std::ifstream copy(outPath, std::ios::binary);
    ckpfuzz::checkPlacement(outPath, std::string(std::istreambuf_iterator<char>(copy), {}));
    (void)ckpGetNumError();
    return 0;
}
