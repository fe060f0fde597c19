// Making, linking and freeing handles, files, lines and properties, and the
// property walks over the current record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/types.hpp"

// 1 when a and b match under mode: "." (or anything but '*', 'L', 'U')
// exact; '*' both folded to upper case; 'U' b folded to upper; 'L' b folded
// to lower. Folded comparisons stop at the end of the shorter string.
int tiStrMatch(const char* a, const char* mode, const char* b);

// A new property on line (or unattached when line is null); with checkDup a
// name the record already has is warned about first.
ckpProp* tiAddProp(ckpLine* line, int checkDup, const char* name, const char* value);
inline constexpr int tiNoDupCheck = 0;
inline constexpr int tiWarnDup = 1;
// A property's texts with their lengths and the name's hash (nameHash),
// so that a caller that has them is not made to count again.
struct tiPropText {
    const char* name; // null for none
    std::size_t nameLength;
    const char* value; // null for a flag
    std::size_t valueLength;
    std::uint64_t hash;
};
ckpProp* tiAddPropText(ckpLine* line, int checkDup, const tiPropText& text);
// Warns when the current record already has a property of that name.
void tiWarnDupProp(ckpLine* line, const char* name);
void tiWarnDupPropHashed(ckpLine* line, const char* name, std::uint64_t hash);
int tiFreeProp(ckpProp* prop);
ckpProp* tiFindProp(ckpInfo* info, const char* name);
ckpProp* tiNextProp(ckpProp* prop);
// The first property on line or a line after it in the record, or null.
ckpProp* tiFirstPropFrom(const ckpLine* line);

// A new line of full room, appended to file (when not null).
ckpLine* tiNewLine(ckpFile* file);
// The last line of its file, just read (before->next), in a block cut down
// to its text; cursors into it move along. The line itself when it cannot
// be cut (no memory, properties or a head end on it).
ckpLine* tiCompactLine(ckpLine* line, ckpLine* before);
int tiFreeLine(ckpLine* line);

ckpFile* tiNewFile(ckpInfo* info, const char* name, std::uint16_t node, std::FILE* stream);
ckpFile* tiFreeFile(ckpFile* file, const char* mode);
// Flushes and closes a written stream: 1 when both succeeded.
int tClose(std::FILE* stream);
// Closes a stream by the mode it was opened in: a read stream plainly, any
// other through tClose. 1 on success; a failure records the system error.
int tCloseByMode(std::FILE* stream, const char* mode);

ckpInfo* tiNewInfo();
int tiFreeInfo(ckpInfo* info);

// 1 for the process's standard input, output or error.
int tiIsStdStream(const std::FILE* stream);
// The name a report shows for a file: its name, else "stdin", "stdout",
// "stderr" or "file" by its stream.
const char* tiFileShownName(const ckpFile* file);
