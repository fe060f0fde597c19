// Fuzz target, a round-trip oracle: the input is read as a checkpoint file,
// every record the writer can carry is passed through ckpXfer and ckpPuts
// into a second file, and reading that file must give the same records: type,
// path, and properties in order with their values or flags.
//
// What legitimately differs, and is therefore not written nor compared:
// - records that are not data (comments, syntax errors, empty paths, the end
//   of an include) and records read from an included file;
// - a value or path holding a backslash (the writer never escapes one, so
//   `\"`, `\;`, `\\` would read back differently), a path beginning with a
//   double quote or holding a carriage return, an object without a path, a
//   property without a name, and records whose written line could pass the reader's
//   510-character physical line;
// - the header of a file without one (syntax 0) or with a fault in it: the
//   copy gets the header of ckpCreateHdr, and only the header's type is
//   compared.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_common.hpp"

namespace {

struct Prop {
    std::string name;
    bool flag;
    std::string value;
    bool operator==(const Prop&) const = default;
};

struct Record {
    int type;
    std::string path;
    std::vector<Prop> props;
    bool operator==(const Record&) const = default;
};

bool carriable(const char* text) {
    return std::strchr(text, '\\') == nullptr;
}

// Reads the handle's current record; false when the writer could not carry
// it unchanged.
bool takeRecord(ckpInfo* info, int type, Record& out) {
    out.type = type;
    out.props.clear();
    const char* path = ckpGetObjPath(info);
    out.path = (type == ckpTypeHeader || path == nullptr) ? "" : path;
    // An object without a path is written as its properties alone (or an
    // empty line), and a carriage return in an unquoted path can end up
    // before the line end, where it is read as part of it: both read back as
    // other records.
    bool ok = carriable(out.path.c_str()) && (out.path.empty() || out.path[0] != '"') &&
              !(type == ckpTypeObject && out.path.empty()) &&
              out.path.find('\r') == std::string::npos;
    std::size_t length = out.path.size() + 2;
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(info, &id, &name, &value) == 1) {
        Prop p{name, value == nullptr, value != nullptr ? value : ""};
        // A property without a name is written as a lone blank or as
        // ` ="v"`, which reads back as the value of the property before it.
        ok = ok && carriable(p.value.c_str()) && !p.name.empty();
        length += 1 + p.name.size() + (p.flag ? 0 : 3 + 2 * p.value.size());
        out.props.push_back(std::move(p));
    }
    return ok && length < 480;
}

bool isData(int type) {
    return type == ckpTypeHeader || type == ckpTypeObject || type == ckpTypeConfigPath ||
           type == ckpTypeSubDir || type == ckpTypeInclude;
}

bool inMainFile(ckpInfo* info) {
    char* current = nullptr;
    char* main = nullptr;
    if (ckpGetName(info, 1, &current) != 1 || ckpGetName(info, 0, &main) != 1) {
        return false;
    }
    return current != nullptr && main != nullptr && std::strcmp(current, main) == 0;
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
        Record r;
        bool ok = takeRecord(in, type, r);
        if (out != nullptr && type == ckpTypeHeader && (syntax == 0 || !ok)) {
            // The copy gets a header of its own, without properties.
            if (ckpCreateHdr(out) != 1 || ckpPuts(out) != 1) {
                std::abort();
            }
            r.props.clear();
            got.push_back(r);
            continue;
        }
        if (out != nullptr) {
            if (!ok) {
                continue;
            }
            if (ckpXfer(in, out) != 1 || ckpPuts(out) != 1) {
                std::abort();
            }
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
        for (const Record& r : *list) {
            std::fprintf(stderr, "%d [%s]", r.type, r.path.c_str());
            for (const Prop& p : r.props) {
                std::fprintf(stderr, " %s%s%s", p.name.c_str(), p.flag ? "" : "=", p.value.c_str());
            }
            std::fprintf(stderr, "\n");
        }
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
    (void)ckpGetNumError();
    return 0;
}
