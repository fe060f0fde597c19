// Writing the current record: formatted into a buffer, escaped run by run,
// and handed to the stream a buffer at a time.
#include <array>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "core/error.hpp"
#include "support/platform.hpp"
#include "writer/writer.hpp"

namespace {
bool isDelimiter(char c, char lead, char trail, char extra) {
    return c != '\0' && (c == lead || c == trail || c == extra);
}

// Whether the character at p needs a backslash before it. Besides the
// delimiters, a backslash in a delimited field is doubled where the reader
// would otherwise take it as the start of an escape: before another
// backslash, before an escaped character, and before the closing delimiter.
// Everywhere else a backslash is written alone, as the reader keeps it.
bool needsEscape(const char* p, char lead, char trail, char extra) {
    if (isDelimiter(*p, lead, trail, extra)) {
        return true;
    }
    if (*p != '\\' || (lead == '\0' && trail == '\0' && extra == '\0')) {
        return false;
    }
    char next = p[1];
    return next == '\\' || isDelimiter(next, lead, trail, extra) || (next == '\0' && trail != '\0');
}
} // namespace

namespace {
// Only a backslash or a delimiter can need an escape: a scan over a field
// stops at these, and the runs between them go out whole. The stops are
// looked up in a table; the sets of delimiters that ckpPuts uses have theirs
// made at compile time, any other set gets one of its own.
struct StopTable {
    char lead, trail, extra;
    std::array<bool, 256> stop;
};

constexpr StopTable makeStops(char lead, char trail, char extra) {
    StopTable t{lead, trail, extra, {}};
    for (char c : {'\0', '\\', lead, trail, extra}) {
        t.stop[static_cast<unsigned char>(c)] = true;
    }
    return t;
}

constexpr StopTable knownStops[] = {
    makeStops('"', '"', ';'),   // a value
    makeStops(' ', '=', '\0'),  // a name with a value after a blank
    makeStops('\0', '=', '\0'), // the same first on its line
    makeStops(' ', '\0', '\0'), // a flag
    makeStops('\0', '\0', '\0'),
};

class Stops {
  public:
    Stops(char lead, char trail, char extra) {
        for (const StopTable& t : knownStops) {
            if (t.lead == lead && t.trail == trail && t.extra == extra) {
                stop_ = t.stop.data();
                return;
            }
        }
        own_ = makeStops(lead, trail, extra);
        stop_ = own_.stop.data();
    }
    Stops(const Stops&) = delete;
    Stops& operator=(const Stops&) = delete;
    // The first stop or the end of the text at or after p.
    const char* next(const char* p) const {
        while (!stop_[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        return p;
    }

  private:
    StopTable own_{};
    const bool* stop_ = nullptr;
};
} // namespace

int tOutFlush(tOut& out) {
    std::size_t n = out.used;
    out.used = 0;
    if (n != 0 && platform::fwriteUnlocked(out.buffer, n, out.stream) != n) {
        tiSetSysError(errno);
        return 0;
    }
    return 1;
}

int tOutPut(tOut& out, const char* text, std::size_t n) {
    if (n > out.size - out.used) {
        if (!tOutFlush(out)) {
            return 0;
        }
        if (n >= out.size) { // longer than the buffer: straight to the stream
            if (platform::fwriteUnlocked(text, n, out.stream) != n) {
                tiSetSysError(errno);
                return 0;
            }
            return 1;
        }
    }
    std::memcpy(out.buffer + out.used, text, n);
    out.used += n;
    return 1;
}

int tOutField(tOut& out, char lead, const char* text, char trail, char extra) {
    if (text == nullptr) {
        text = "";
    }
    if (lead != '\0' && !tOutChar(out, lead)) {
        return 0;
    }
    Stops stops(lead, trail, extra);
    const char* run = text;
    const char* p = stops.next(text);
    for (; *p != '\0'; p = stops.next(p + 1)) {
        if (needsEscape(p, lead, trail, extra)) {
            if (!tOutPut(out, run, std::size_t(p - run)) || !tOutChar(out, '\\')) {
                return 0;
            }
            run = p;
        }
    }
    if (!tOutPut(out, run, std::size_t(p - run))) {
        return 0;
    }
    return trail == '\0' || tOutChar(out, trail);
}

int tPutChar(std::FILE* stream, char c) {
    char buffer[1];
    tOut out{stream, buffer, sizeof buffer, 0};
    return tOutChar(out, c) && tOutFlush(out);
}

int tPutField(std::FILE* stream, char lead, const char* text, char trail, char extra) {
    char buffer[ckpLineSize];
    tOut out{stream, buffer, sizeof buffer, 0};
    return tOutField(out, lead, text, trail, extra) && tOutFlush(out);
}

std::size_t tFieldSize(char lead, const char* text, char trail, char extra) {
    if (text == nullptr) {
        text = "";
    }
    Stops stops(lead, trail, extra);
    std::size_t escapes = 0;
    const char* p = stops.next(text);
    for (; *p != '\0'; p = stops.next(p + 1)) {
        escapes += needsEscape(p, lead, trail, extra) ? 1 : 0;
    }
    return (lead != '\0' ? 1 : 0) + (trail != '\0' ? 1 : 0) + std::size_t(p - text) + escapes;
}

std::size_t tPropSize(const ckpProp* prop) {
    char eq = prop->value != nullptr ? '=' : '\0';
    std::size_t n = tFieldSize('\0', prop->name, eq, '\0');
    if (prop->value != nullptr) {
        n += tFieldSize('"', prop->value, '"', ';');
    }
    return n;
}

namespace {
int putProp(tOut& out, char sep, const ckpProp* prop) {
    char eq = prop->value != nullptr ? '=' : '\0';
    if (!tOutField(out, sep, prop->name, eq, '\0')) {
        return 0;
    }
    return prop->value == nullptr || tOutField(out, '"', prop->value, '"', ';');
}

int putContinuation(tOut& out) {
    return tOutPut(out, "\\\n", 2);
}

// Room that a property of up to a line's width takes in the buffer at the
// most: every character escaped, the delimiters, the separator.
constexpr std::size_t propRoom = 4 * ckpLineSize + 8;

bool fitsRoom(const ckpProp* prop) {
    std::size_t name = prop->name != nullptr ? std::strlen(prop->name) : 0;
    std::size_t value = prop->value != nullptr ? std::strlen(prop->value) : 0;
    return 2 * (name + value) + 8 <= propRoom;
}

// A property is formatted into the buffer first and measured there; when it
// does not fit the line, its separator gives way to a continuation. A
// property too long for that is measured on its own beforehand.
int putProp(tOut& out, char sep, const ckpProp* prop, bool wrap, std::size_t& column) {
    bool inBuffer = fitsRoom(prop) && out.size >= propRoom;
    if (inBuffer && out.size - out.used < propRoom && !tOutFlush(out)) {
        return 0;
    }
    if (!inBuffer) {
        std::size_t size = tPropSize(prop);
        if (wrap && column != 0 && column + 1 + size > static_cast<std::size_t>(ckpHeadMax)) {
            if (!putContinuation(out)) {
                return 0;
            }
            column = 0;
            sep = '\0';
        }
        column += size + (sep != '\0' ? 1 : 0);
        return putProp(out, sep, prop);
    }
    std::size_t start = out.used;
    if (!putProp(out, sep, prop)) {
        return 0;
    }
    std::size_t size = out.used - start - (sep != '\0' ? 1 : 0);
    if (wrap && column != 0 && column + 1 + size > static_cast<std::size_t>(ckpHeadMax)) {
        char* at = out.buffer + start;
        std::memmove(at + 2, at + 1, size); // names are word characters: no lead escapes them
        at[0] = '\\';
        at[1] = '\n';
        out.used = start + 2 + size;
        column = size;
        return 1;
    }
    column += size + (sep != '\0' ? 1 : 0);
    return 1;
}

// One line of the record: its text, then its properties. A line that would
// grow wider than the reader takes in one piece is continued before the
// property that does not fit (a comment line never continues, so it is not).
int putLine(tOut& out, const ckpLine* line, bool wrap) {
    std::size_t column = std::strlen(line->text);
    char sep = '\0';
    if (column != 0) {
        if (!tOutPut(out, line->text, column)) { // the head text goes out as it is
            return 0;
        }
        sep = ' ';
    }
    for (const ckpProp* prop = line->firstProp; prop != nullptr; prop = prop->next) {
        if (!putProp(out, sep, prop, wrap, column)) {
            return 0;
        }
        sep = ' ';
    }
    return 1;
}

// A continuation line with neither text nor properties is passed over: as
// the last line it would be written as an empty physical line, which the
// reader skips inside a record, so that the record would swallow the next.
bool hasContent(const ckpLine* line) {
    return line->text[0] != '\0' || line->firstProp != nullptr;
}
} // namespace

extern "C" {

int ckpPuts(ckpInfo* info) {
    if (!tiCheckWrite(info, "ckpPuts", 0, 1)) {
        return 0;
    }
    std::FILE* stream = info->file->stream;
    if (stream == nullptr) {
        tiSetError("no file in ckpPuts");
        return 0;
    }
    // The record is formatted into the handle's buffer, which goes to the
    // stream whenever it is full and once at the end.
    tOut out{stream, info->outBuffer, sizeof info->outBuffer, 0};
    const ckpLine* first = info->file->firstLine;
    if (info->type != ckpTypeNone) {
        bool wrap = info->type != ckpTypeComment;
        for (const ckpLine* line = first; line != nullptr; line = line->next) {
            if (line != first && !hasContent(line)) {
                continue;
            }
            if ((line != first && !putContinuation(out)) || !putLine(out, line, wrap)) {
                return 0;
            }
        }
    }
    return tOutChar(out, '\n') && tOutFlush(out);
}
}
