// Writing the current record: formatted into a buffer, escaped run by run,
// and handed to the stream a buffer at a time.
#include "writer/output.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "core/error.hpp"
#include "core/text_scan.hpp"
#include "support/platform.hpp"
#include "writer/check_write.hpp"
#include "writer/path_text.hpp"
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
// looked up in a table, or found a run at a time through their set as a
// string; the sets of delimiters that ckpPuts uses have theirs made at
// compile time, any other set gets one of its own.
struct StopTable {
    char lead, trail, extra;
    std::array<bool, 256> stop;
    char set[5]; // the same stops but the terminator, as a string
};

constexpr StopTable makeStops(char lead, char trail, char extra) {
    StopTable t{lead, trail, extra, {}, {}};
    std::size_t n = 0;
    for (char c : {'\0', '\\', lead, trail, extra}) {
        t.stop[static_cast<unsigned char>(c)] = true;
        if (c != '\0') {
            t.set[n++] = c;
        }
    }
    return t;
}

constexpr StopTable valueStops = makeStops('"', '"', ';');
constexpr StopTable nameStops = makeStops(' ', '=', '\0'); // a name with a value after a blank
constexpr StopTable flagStops = makeStops(' ', '\0', '\0');
constexpr StopTable knownStops[] = {
    valueStops,
    nameStops,
    makeStops('\0', '=', '\0'), // a name with a value first on its line
    flagStops,
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
    StopTable own_; // filled only for a set without a table of its own
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
        escapes += needsEscape(p, lead, trail, extra) ? 1u : 0u;
    }
    return (lead != '\0' ? 1u : 0u) + (trail != '\0' ? 1u : 0u) + std::size_t(p - text) + escapes;
}

std::size_t tPropTextSize(const char* name, const char* value) {
    char eq = value != nullptr ? '=' : '\0';
    std::size_t n = tFieldSize('\0', name, eq, '\0');
    if (value != nullptr) {
        n += tFieldSize('"', value, '"', ';');
    }
    return n;
}

std::size_t tPropSize(const ckpProp* prop) {
    return tPropTextSize(prop->name, prop->value);
}

namespace {
int putProp(tOut& out, char sep, const ckpProp* prop) {
    char eq = prop->value != nullptr ? '=' : '\0';
    if (!tOutField(out, sep, prop->name, eq, '\0')) {
        return 0;
    }
    return prop->value == nullptr || tOutField(out, '"', prop->value, '"', ';');
}

// The physical lines of a record as ckpPuts lays them out: formatted into
// the output buffer, or only measured when there is none. `column` counts
// the current line's characters, `widest` the widest line ended so far with
// its continuation backslash.
struct Layout {
    tOut* out;
    std::size_t column = 0;
    std::size_t widest = 0;
};

// The current line ends at column; a continued one with its backslash.
void closeLine(Layout& layout, bool continued) {
    if (continued) {
        ++layout.column;
    }
    if (layout.column > layout.widest) {
        layout.widest = layout.column;
    }
    layout.column = 0;
}

int endLine(Layout& layout, bool continued) {
    closeLine(layout, continued);
    if (layout.out == nullptr) {
        return 1;
    }
    return continued ? tOutPut(*layout.out, "\\\n", 2) : tOutChar(*layout.out, '\n');
}

// Room that a property of up to a line's width takes in the buffer at the
// most: every character escaped, the delimiters, the separator.
constexpr std::size_t propRoom = 4 * ckpLineSize + 8;

bool overflows(const Layout& layout, bool wrap, std::size_t size) {
    return wrap && layout.column != 0 &&
           layout.column + 1 + size > static_cast<std::size_t>(ckpHeadMax);
}

// A property measured on its own first, then written (when there is output).
int putMeasured(Layout& layout, char sep, const ckpProp* prop, bool wrap) {
    std::size_t size = tPropSize(prop);
    if (overflows(layout, wrap, size)) {
        if (!endLine(layout, true)) {
            return 0;
        }
        sep = '\0';
    }
    layout.column += size + (sep != '\0' ? 1 : 0);
    return layout.out == nullptr || putProp(*layout.out, sep, prop);
}

// Copies text into [o, limit) with its escapes, a run between stops at a
// time; null when it does not fit, so that the caller can take the slower
// way.
char* copyEscaped(char* o, const char* limit, const char* text, const StopTable& stops) {
    const char* p = text != nullptr ? text : "";
    for (;;) {
        std::size_t n = std::strcspn(p, stops.set);
        if (n + 2 > static_cast<std::size_t>(limit - o)) {
            return nullptr;
        }
        std::memcpy(o, p, n);
        o += n;
        p += n;
        if (*p == '\0') {
            return o;
        }
        if (needsEscape(p, stops.lead, stops.trail, stops.extra)) {
            *o++ = '\\';
        }
        *o++ = *p++;
    }
}

// A property that needs no escape, copied whole.
char* copyPlainProp(char* o, const char* limit, const ckpProp* prop) {
    std::size_t size = 1 + prop->nameLength + (prop->value != nullptr ? prop->valueLength + 3 : 0);
    if (size > static_cast<std::size_t>(limit - o)) {
        return nullptr;
    }
    *o++ = ' ';
    std::memcpy(o, prop->name, prop->nameLength);
    o += prop->nameLength;
    if (prop->value != nullptr) {
        *o++ = '=';
        *o++ = '"';
        std::memcpy(o, prop->value, prop->valueLength);
        o += prop->valueLength;
        *o++ = '"';
    }
    return o;
}

// A property after a blank, formatted at o; null when it does not fit
// before limit.
char* copyProp(char* o, const char* limit, const ckpProp* prop) {
    if (prop->plain) {
        return copyPlainProp(o, limit, prop);
    }
    *o++ = ' ';
    o = copyEscaped(o, limit, prop->name, prop->value != nullptr ? nameStops : flagStops);
    if (o == nullptr || prop->value == nullptr) {
        return o;
    }
    if (limit - o < 2) {
        return nullptr;
    }
    *o++ = '=';
    *o++ = '"';
    o = copyEscaped(o, limit, prop->value, valueStops);
    if (o == nullptr || o == limit) {
        return nullptr;
    }
    *o++ = '"';
    return o;
}

// A property after a blank is formatted into the buffer first and measured
// there; when it does not fit the line, its blank gives way to a
// continuation. Only what is too long for the buffer, or a layout without
// output, is measured apart.
int putProp(Layout& layout, char sep, const ckpProp* prop, bool wrap) {
    tOut* out = layout.out;
    if (out == nullptr || sep != ' ' || out->size < propRoom) {
        return putMeasured(layout, sep, prop, wrap);
    }
    if (out->size - out->used < propRoom && !tOutFlush(*out)) {
        return 0;
    }
    // One byte stays free for the line break that a continuation adds.
    std::size_t start = out->used;
    char* end = copyProp(out->buffer + start, out->buffer + out->size - 1, prop);
    if (end == nullptr) {
        return putMeasured(layout, sep, prop, wrap);
    }
    std::size_t size = static_cast<std::size_t>(end - (out->buffer + start)) - 1;
    out->used = start + 1 + size;
    if (!overflows(layout, wrap, size)) {
        layout.column += size + 1;
        return 1;
    }
    char* at = out->buffer + start;
    std::memmove(at + 2, at + 1, size); // names are word characters: no lead escapes them
    at[0] = '\\';
    at[1] = '\n';
    out->used = start + 2 + size;
    closeLine(layout, true);
    layout.column = size;
    return 1;
}

// One line of the record: its text, then its properties. A line that would
// grow wider than the reader takes in one piece is continued before the
// property that does not fit (a comment line never continues, so it is not).
// A head that ends in a backslash or a carriage return gets a blank after it
// when no property follows, so that it does not end the line.
int putLine(Layout& layout, const ckpLine* line, bool wrap) {
    tOut* out = layout.out;
    std::size_t length = std::strlen(line->text);
    char sep = '\0';
    if (length != 0) {
        if (out != nullptr && !tOutPut(*out, line->text, length)) { // the head goes out as it is
            return 0;
        }
        layout.column += length;
        if (wrap && line->firstProp == nullptr && tiHeadNeedsBlank(line->text)) {
            if (out != nullptr && !tOutChar(*out, ' ')) {
                return 0;
            }
            ++layout.column;
        }
        sep = ' ';
    }
    for (const ckpProp* prop = line->firstProp; prop != nullptr; prop = prop->next) {
        if (!putProp(layout, sep, prop, wrap)) {
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

// A comment or blank line never continues. A raw data line (ckpRecord) is
// continued before a property as any head is, so that its properties stay
// within what the reader takes in one piece; one cut by a trailing comment
// holds none and is written as it is.
bool wraps(const ckpInfo* info, const ckpLine* first) {
    if (info->record.type != ckpTypeComment) {
        return true;
    }
    char c = *tiSkipBlanks(first->text);
    return c != '\0' && c != ';' && *tiContentEnd(first->text) == '\0';
}

// A record without type is written as it stands too: one that nothing began
// or whose head was refused is empty and gives a bare line end, one
// transferred (a path "" with properties) reads back as it was read.
int putRecord(const ckpInfo* info, Layout& layout) {
    const ckpLine* first = info->files.top->firstLine;
    bool wrap = wraps(info, first);
    for (const ckpLine* line = first; line != nullptr; line = line->next) {
        if (line != first && !hasContent(line)) {
            continue;
        }
        if (line != first && !endLine(layout, true)) {
            return 0;
        }
        if (!putLine(layout, line, wrap)) {
            return 0;
        }
    }
    return endLine(layout, false);
}
} // namespace

std::size_t tiWidestLine(const ckpInfo* info) {
    Layout layout{nullptr};
    putRecord(info, layout);
    return layout.widest;
}

extern "C" {

int ckpPuts(ckpInfo* info) {
    if (!tiCheckWrite(info, "ckpPuts", tiKeepRecord, tiAppendOK)) {
        return 0;
    }
    std::FILE* stream = info->files.top->stream;
    if (stream == nullptr) {
        tiSetError("no file in ckpPuts");
        return 0;
    }
    // The record is formatted into the handle's buffer, which goes to the
    // stream whenever it is full and once at the end.
    tOut out{stream, info->write.outBuffer, sizeof info->write.outBuffer, 0};
    Layout layout{&out};
    return putRecord(info, layout) && tOutFlush(out);
}
}
