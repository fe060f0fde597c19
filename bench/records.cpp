#include "records.hpp"

#include <cstring>

namespace bench {
namespace {

const char* const kWords[] = {"alpha", "beta",   "gamma", "delta", "omega",  "north", "south",
                              "east",  "west",   "red",   "green", "blue",   "final", "draft",
                              "fixed", "review", "clean", "stale", "merged", "local"};
const char* const kPeople[] = {"ann", "bob", "chen", "dana", "eli", "fay", "gus", "hana"};
const char* const kViews[] = {"layout", "schematic", "symbol", "netlist", "abstract", "extracted"};

// Property names; the last four are usually flags.
const char* const kNames[] = {"owner",    "state",   "version", "entrytype", "checksum",
                              "date",     "comment", "author",  "lib_ref",   "view_type",
                              "size",     "mode",    "group",   "origin",    "target",
                              "priority", "locked",  "dirty",   "hidden",    "frozen"};
constexpr unsigned kNameCount = sizeof kNames / sizeof kNames[0];
constexpr unsigned kFirstFlagName = 16;

template <std::size_t N> const char* pick(Rng& rng, const char* const (&list)[N]) {
    return list[rng.below(N)];
}

std::string number(unsigned value, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*u", width, value);
    return buf;
}

std::string makePath(Rng& rng, std::uint64_t index) {
    std::string path;
    unsigned kind = rng.below(100);
    if (kind < 8) {
        // Blanks make the writer quote the path.
        path = "my designs/cell " + number(static_cast<unsigned>(index % 100000), 1) + "/" +
               pick(rng, kViews);
    } else if (kind < 10) {
        // A double quote inside a quoted path is escaped by the writer.
        path = std::string("lib q/\"") + pick(rng, kWords) + "\" " +
               number(static_cast<unsigned>(index), 1);
    } else {
        path = "lib" + number(rng.below(40), 1) + "/cell" +
               number(static_cast<unsigned>(index), 6) + "/" + pick(rng, kViews);
        if (rng.chance(20))
            path += ".v" + number(rng.below(10), 1);
    }
    return path;
}

// A value that every spelling carries unchanged: a backslash is always
// followed by a letter, and a ';' never follows a blank (INI would take it
// for a comment).
std::string makeValue(Rng& rng, const char* name) {
    if (rng.chance(2))
        return "";
    if (std::strcmp(name, "version") == 0)
        return number(rng.below(9) + 1, 1) + "." + number(rng.below(100), 1);
    if (std::strcmp(name, "date") == 0)
        return "2026-" + number(rng.below(12) + 1, 2) + "-" + number(rng.below(28) + 1, 2) + " " +
               number(rng.below(24), 2) + ":" + number(rng.below(60), 2) + ":" +
               number(rng.below(60), 2);
    if (std::strcmp(name, "checksum") == 0) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(rng.next()));
        return buf;
    }
    if (std::strcmp(name, "owner") == 0 || std::strcmp(name, "author") == 0)
        return pick(rng, kPeople);
    if (std::strcmp(name, "size") == 0 || std::strcmp(name, "priority") == 0)
        return number(rng.below(100000), 1);
    std::string value = pick(rng, kWords);
    unsigned extra = std::strcmp(name, "comment") == 0 ? 2 + rng.below(4) : rng.below(2);
    for (unsigned i = 0; i < extra; ++i) {
        unsigned kind = rng.below(100);
        if (kind < 12) {
            value += "; ";
            value += pick(rng, kWords);
        } else if (kind < 22) {
            value += " \"";
            value += pick(rng, kWords);
            value += "\"";
        } else if (kind < 27) {
            value += " C:\\temp\\";
            value += pick(rng, kWords);
        } else {
            value += " ";
            value += pick(rng, kWords);
        }
    }
    return value;
}

bool hasBlank(const char* s) {
    return std::strpbrk(s, " \t\v") != nullptr;
}

void appendCanonicalPath(const char* path, std::string& out) {
    if (!hasBlank(path)) {
        out += path;
        return;
    }
    out += '"';
    for (const char* p = path; *p; ++p) {
        if (*p == '"')
            out += '\\';
        out += *p;
    }
    out += '"';
}

void appendCanonicalValue(const char* value, std::string& out) {
    out += '"';
    for (const char* p = value; *p; ++p) {
        if (*p == '"' || *p == ';')
            out += '\\';
        out += *p;
    }
    out += '"';
}

const char* separator(Rng& rng) {
    unsigned kind = rng.below(100);
    if (kind < 5)
        return "  ";
    if (kind < 8)
        return "\t";
    return " ";
}

} // namespace

std::uint32_t RecordSet::add(const std::string& s) {
    auto at = static_cast<std::uint32_t>(pool.size());
    pool.insert(pool.end(), s.begin(), s.end());
    pool.push_back('\0');
    return at;
}

void RecordSet::clear() {
    pool.clear();
    props.clear();
    records.clear();
}

void RecordStream::next(RecordSet& set) {
    RecordSet::Record rec{};
    rec.path = set.add(makePath(rng_, index_));
    rec.firstProp = static_cast<std::uint32_t>(set.props.size());
    unsigned count = 3 + rng_.below(6);
    // A partial shuffle picks distinct names in a random order.
    unsigned order[kNameCount];
    for (unsigned i = 0; i < kNameCount; ++i)
        order[i] = i;
    for (unsigned i = 0; i < count; ++i) {
        unsigned j = i + rng_.below(kNameCount - i);
        unsigned t = order[i];
        order[i] = order[j];
        order[j] = t;
        const char* name = kNames[order[i]];
        RecordSet::Prop prop{set.add(name), RecordSet::kNoValue};
        bool flag = order[i] >= kFirstFlagName ? rng_.chance(70) : rng_.chance(3);
        if (!flag)
            prop.value = set.add(makeValue(rng_, name));
        set.props.push_back(prop);
    }
    rec.propCount = count;
    set.records.push_back(rec);
    ++index_;
}

void appendVaried(const RecordSet& set, std::size_t r, Rng& rng, std::string& out, Counts& counts) {
    const RecordSet::Record& rec = set.records[r];
    unsigned before = rng.below(1000);
    if (before < 30) {
        out += "; ";
        out += pick(rng, kWords);
        out += " records follow\n";
        ++counts.comments;
    } else if (before < 35) {
        out += "   ; indented note\n";
        ++counts.comments;
    } else if (before < 45) {
        out += "\n";
        ++counts.comments;
    }
    std::size_t lineStart = out.size();
    if (rng.chance(5))
        out += "  ";
    const char* path = set.str(rec.path);
    if (hasBlank(path) || rng.chance(5)) {
        out += '"';
        for (const char* p = path; *p; ++p) {
            if (*p == '"')
                out += '\\';
            out += *p;
        }
        out += '"';
    } else {
        out += path;
    }
    for (std::uint32_t i = 0; i < rec.propCount; ++i) {
        const RecordSet::Prop& prop = set.props[rec.firstProp + i];
        // Tokens never span lines, and a physical line stays far below 510.
        if (rng.chance(8) || out.size() - lineStart > 380) {
            out += " \\\n";
            lineStart = out.size();
            out += "    ";
        } else {
            out += separator(rng);
        }
        out += set.str(prop.name);
        if (prop.value == RecordSet::kNoValue)
            continue;
        out += rng.chance(3) ? " = " : "=";
        out += '"';
        bool doubleBackslash = rng.chance(50);
        for (const char* p = set.str(prop.value); *p; ++p) {
            if (*p == '"' || *p == ';' || (*p == '\\' && doubleBackslash))
                out += '\\';
            out += *p;
        }
        out += '"';
    }
    if (rng.chance(5))
        out += " ; trailing note";
    out += '\n';
    ++counts.records;
    counts.props += rec.propCount;
    for (std::uint32_t i = 0; i < rec.propCount; ++i)
        if (set.props[rec.firstProp + i].value == RecordSet::kNoValue)
            ++counts.flags;
}

void appendCanonical(const RecordSet& set, std::size_t r, std::string& out) {
    const RecordSet::Record& rec = set.records[r];
    appendCanonicalPath(set.str(rec.path), out);
    for (std::uint32_t i = 0; i < rec.propCount; ++i) {
        const RecordSet::Prop& prop = set.props[rec.firstProp + i];
        out += ' ';
        out += set.str(prop.name);
        if (prop.value == RecordSet::kNoValue)
            continue;
        out += '=';
        appendCanonicalValue(set.str(prop.value), out);
    }
    out += '\n';
}

void appendIni(const RecordSet& set, std::size_t r, std::string& out) {
    const RecordSet::Record& rec = set.records[r];
    out += '[';
    out += set.str(rec.path);
    out += "]\n";
    for (std::uint32_t i = 0; i < rec.propCount; ++i) {
        const RecordSet::Prop& prop = set.props[rec.firstProp + i];
        out += set.str(prop.name);
        out += '=';
        if (prop.value != RecordSet::kNoValue)
            out += set.str(prop.value);
        out += '\n';
    }
}

void appendSetupEntry(std::size_t i, std::string& out) {
    // Zero-padded names sort by bytes in numeric order, and the property
    // names below are already in ascending byte order.
    Rng rng(0xC0FFEEull + i * 0x9E3779B97F4A7C15ull);
    out += "cells/c" + number(static_cast<unsigned>(i), 7);
    out += " entrytype=\"cell\"";
    if (i % 7 == 0)
        out += " locked";
    out += " owner=\"";
    out += pick(rng, kPeople);
    out += "\" state=\"";
    out += pick(rng, kWords);
    out += "\" version=\"" + number(static_cast<unsigned>(i % 97), 1) + "\"\n";
}

bool readWholeFile(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool writeWholeFile(const std::string& path, const std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

long long fileSize(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    long long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    std::fclose(f);
    return size;
}

} // namespace bench
