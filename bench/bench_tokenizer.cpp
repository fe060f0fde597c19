// The floor for the record reader: a tokenizer of its own, with no library
// underneath, that hands out what the reader hands out. Each record's path,
// names and values are NUL-terminated copies in a per-record arena, values
// unescaped only where a backslash stands, repeated names found by length
// and bytes while the record is small (a hash table beyond), comments cut
// and continuation lines joined. The reader's time against this one is what
// its API and its bookkeeping cost.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.hpp"

namespace bench {
namespace {

enum : unsigned char { kOther = 0, kWord = 1, kBlank = 2 };

struct Classes {
    unsigned char of[256] = {};
    bool endsValue[256] = {}; // a quote, a backslash or the end
    Classes() {
        for (int c = 0; c < 256; ++c) {
            bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_';
            of[c] = word ? kWord : (c == ' ' || c == '\t' || c == '\v') ? kBlank : kOther;
            endsValue[c] = c == '"' || c == '\\' || c == 0;
        }
    }
};
const Classes classes;

inline unsigned char classOf(const char* p) {
    return classes.of[static_cast<unsigned char>(*p)];
}

const char* skipBlanks(const char* p) {
    while (classOf(p) == kBlank)
        ++p;
    return p;
}

// Offsets into the arena, which may move while the record grows.
struct Prop {
    std::size_t nameAt;
    std::size_t valueAt; // SIZE_MAX for a flag
    std::size_t nameLength;
};

struct Tokenizer {
    // The record's copies: room for twice the record's text, so that no
    // copy needs a test (each takes at most its source and a terminator).
    std::vector<char> arena;
    std::size_t used = 0;
    std::vector<char> record; // the lines of a continued record joined
    std::vector<Prop> props;
    std::vector<int> slots; // open addressing, once a record is large
    std::uint64_t duplicates = 0;
};

// Copies [from, from + n) into the arena with its terminator; returns the
// offset of the copy (the arena may move while the record grows).
std::size_t keep(Tokenizer& t, const char* from, std::size_t n) {
    std::size_t at = t.used;
    std::memcpy(t.arena.data() + at, from, n);
    t.arena[at + n] = '\0';
    t.used += n + 1;
    return at;
}

// A quoted value from p (past the quote) to its closing quote; a backslash
// before a quote, a semicolon or a backslash stands for that character. Returns the offset of the
// copy, or SIZE_MAX without a closing quote; *end is past the quote.
std::size_t keepValue(Tokenizer& t, const char* p, const char** end) {
    const char* q = p;
    bool escaped = false;
    for (;;) {
        while (!classes.endsValue[static_cast<unsigned char>(*q)])
            ++q;
        if (*q != '\\')
            break;
        escaped = true;
        q += q[1] != '\0' ? 2 : 1;
    }
    if (*q != '"')
        return SIZE_MAX;
    *end = q + 1;
    if (!escaped)
        return keep(t, p, static_cast<std::size_t>(q - p));
    std::size_t at = t.used;
    char* to = t.arena.data() + at;
    for (; p < q; ++p) {
        if (*p == '\\' && (p[1] == '"' || p[1] == ';' || p[1] == '\\'))
            ++p;
        *to++ = *p;
    }
    *to = '\0';
    t.used = static_cast<std::size_t>(to + 1 - t.arena.data());
    return at;
}

std::uint64_t hashOf(const char* s, std::size_t n) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ static_cast<unsigned char>(s[i])) * 1099511628211ull;
    return h;
}

constexpr std::size_t kSmall = 16;

bool sameName(const Tokenizer& t, std::size_t i, const char* name, std::size_t n) {
    return t.props[i].nameLength == n &&
           std::memcmp(t.arena.data() + t.props[i].nameAt, name, n) == 0;
}

// Whether the record already has the name; a large record is looked up in
// a table of prop indices, built once the record grows past kSmall.
bool repeated(Tokenizer& t, const char* name, std::size_t n) {
    std::size_t count = t.props.size();
    if (count <= kSmall) {
        for (std::size_t i = 0; i < count; ++i)
            if (sameName(t, i, name, n))
                return true;
        return false;
    }
    if (t.slots.size() < 2 * count) {
        t.slots.assign(4 * count, -1);
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t mask = t.slots.size() - 1;
            std::size_t s =
                hashOf(t.arena.data() + t.props[i].nameAt, t.props[i].nameLength) & mask;
            while (t.slots[s] >= 0)
                s = (s + 1) & mask;
            t.slots[s] = static_cast<int>(i);
        }
    }
    std::size_t mask = t.slots.size() - 1;
    for (std::size_t s = hashOf(name, n) & mask; t.slots[s] >= 0; s = (s + 1) & mask)
        if (sameName(t, static_cast<std::size_t>(t.slots[s]), name, n))
            return true;
    return false;
}

void remember(Tokenizer& t, std::size_t index) {
    if (t.slots.empty() || t.props.size() <= kSmall)
        return;
    std::size_t mask = t.slots.size() - 1;
    std::size_t s =
        hashOf(t.arena.data() + t.props[index].nameAt, t.props[index].nameLength) & mask;
    while (t.slots[s] >= 0)
        s = (s + 1) & mask;
    t.slots[s] = static_cast<int>(index);
}

// The record's text (NUL-terminated, length bytes): its path, then its
// properties.
bool tokenize(Tokenizer& t, const char* text, std::size_t length, std::size_t* pathAt) {
    if (t.arena.size() < 2 * length + 2)
        t.arena.resize(4 * length + 2);
    t.used = 0;
    t.props.clear();
    t.slots.clear();
    const char* p = skipBlanks(text);
    const char* start = p;
    if (*p == '"') {
        const char* end = nullptr;
        *pathAt = keepValue(t, p + 1, &end);
        if (*pathAt == SIZE_MAX)
            return false;
        p = end;
    } else {
        while (*p != '\0' && classOf(p) != kBlank)
            ++p;
        *pathAt = keep(t, start, static_cast<std::size_t>(p - start));
    }
    for (p = skipBlanks(p); *p != '\0'; p = skipBlanks(p)) {
        const char* name = p;
        while (classOf(p) == kWord)
            ++p;
        std::size_t n = static_cast<std::size_t>(p - name);
        if (*p != '\0' && *p != '=' && classOf(p) != kBlank)
            return false;
        if (repeated(t, name, n))
            ++t.duplicates;
        std::size_t nameAt = keep(t, name, n);
        std::size_t valueAt = SIZE_MAX;
        p = skipBlanks(p);
        if (*p == '=') {
            p = skipBlanks(p + 1);
            if (*p != '"')
                return false;
            const char* end = nullptr;
            valueAt = keepValue(t, p + 1, &end);
            if (valueAt == SIZE_MAX)
                return false;
            p = end;
        }
        t.props.push_back({nameAt, valueAt, n});
        remember(t, t.props.size() - 1);
    }
    return true;
}

// The content of one line (its LF and any CR before it gone): the trailing
// comment cut at the first ';' without a backslash before it; true when a
// final backslash continues the line, which is then cut too.
bool content(const char* line, std::size_t* length) {
    std::size_t n = *length;
    const char* from = line;
    for (;;) {
        const void* semi = std::memchr(from, ';', static_cast<std::size_t>(line + n - from));
        if (semi == nullptr)
            break;
        const char* s = static_cast<const char*>(semi);
        if (s > line && s[-1] == '\\') {
            from = s + 1;
            continue;
        }
        n = static_cast<std::size_t>(s - line);
        break;
    }
    bool continued = n > 0 && line[n - 1] == '\\';
    *length = continued ? n - 1 : n;
    return continued;
}

struct TokenStats {
    Counts counts;
    std::uint64_t syntax = 0;
    unsigned long sum = 0;
    bool failed = false;
};

void handOut(Tokenizer& t, TokenStats& st, bool header, const char* text, std::size_t n) {
    std::size_t pathAt = 0;
    if (!tokenize(t, text, n, &pathAt)) {
        ++st.syntax;
        return;
    }
    if (header)
        return;
    ++st.counts.records;
    st.sum += static_cast<unsigned char>(t.arena[pathAt]);
    // The record is complete: its strings stand still until the next one.
    const char* base = t.arena.data();
    for (const Prop& prop : t.props) {
        const char* name = base + prop.nameAt;
        const char* value = prop.valueAt == SIZE_MAX ? nullptr : base + prop.valueAt;
        ++st.counts.props;
        st.sum += static_cast<unsigned char>(name[0]);
        if (value)
            st.sum += static_cast<unsigned char>(value[0]);
        else
            ++st.counts.flags;
    }
}

// One physical line: a comment or blank line makes a record of its own
// unless it stands inside a continued record, where it is passed over.
void takeLine(Tokenizer& t, TokenStats& st, char* line, std::size_t n, bool& inRecord,
              bool& seenHeader) {
    if (n > 0 && line[n - 1] == '\r')
        --n;
    const char* first = skipBlanks(line);
    if (first >= line + n || *first == ';') {
        if (!inRecord)
            ++st.counts.comments;
        return;
    }
    bool continued = content(line, &n);
    if (!inRecord && !continued) {
        // A record of one line is read where it stands.
        line[n] = '\0';
        handOut(t, st, !seenHeader, line, n);
        seenHeader = true;
        return;
    }
    if (!inRecord)
        t.record.clear();
    else
        t.record.push_back(' ');
    t.record.insert(t.record.end(), line, line + n);
    inRecord = continued;
    if (!continued) {
        t.record.push_back('\0');
        handOut(t, st, !seenHeader, t.record.data(), t.record.size() - 1);
        seenHeader = true;
    }
}

TokenStats tokenizeFile(const std::string& path, Tokenizer& t) {
    TokenStats st;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        st.failed = true;
        return st;
    }
    std::vector<char> buffer(1 << 16);
    std::size_t kept = 0;
    bool inRecord = false;
    bool seenHeader = false;
    for (;;) {
        std::size_t got = std::fread(buffer.data() + kept, 1, buffer.size() - kept - 1, f);
        std::size_t end = kept + got;
        buffer[end] = '\0'; // the blank test before a line end stops here
        char* p = buffer.data();
        char* stop = buffer.data() + end;
        for (;;) {
            const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(stop - p));
            if (lf == nullptr)
                break;
            char* l = p + (static_cast<const char*>(lf) - p);
            *l = '\0';
            takeLine(t, st, p, static_cast<std::size_t>(l - p), inRecord, seenHeader);
            p = l + 1;
        }
        kept = static_cast<std::size_t>(stop - p);
        if (got == 0) {
            if (kept > 0)
                takeLine(t, st, p, kept, inRecord, seenHeader);
            break;
        }
        std::memmove(buffer.data(), p, kept);
        if (kept + 1 >= buffer.size())
            buffer.resize(buffer.size() * 2);
    }
    if (inRecord) {
        t.record.push_back('\0');
        handOut(t, st, !seenHeader, t.record.data(), t.record.size() - 1);
    }
    std::fclose(f);
    return st;
}

void readTokenizer(benchmark::State& state, std::string tag) {
    std::string path = dataPath("records-" + tag + ".Ckpt");
    double bytes = static_cast<double>(fileSize(path));
    Counts want;
    bool haveWant = expectedCounts(tag, want);
    Tokenizer t;
    for (auto _ : state) {
        TokenStats st = tokenizeFile(path, t);
        benchmark::DoNotOptimize(st.sum);
        if (st.failed) {
            state.SkipWithError("cannot open the input");
            break;
        }
        bool same = st.counts.records == want.records && st.counts.props == want.props &&
                    st.counts.flags == want.flags && st.counts.comments == want.comments;
        if (haveWant && (!same || st.syntax != 0))
            note("read/tokenizer/" + tag + ": read " + std::to_string(st.counts.records) +
                 " records, " + std::to_string(st.counts.props) + " properties, " +
                 std::to_string(st.syntax) + " syntax errors; the input differs");
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

} // namespace

void registerTokenizer() {
    for (const char* tag : {"10M", "100M"}) {
        std::string t = tag;
        if (!haveInput("records-" + t + ".Ckpt"))
            continue;
        benchmark::RegisterBenchmark(("read/tokenizer/" + t).c_str(), readTokenizer, t)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->Iterations(1)
            ->Repetitions(reps(t == "10M" ? 7 : 3));
    }
}

} // namespace bench
