// The handle objects shared by reader, writer and diagnostics. Plain
// structures: every owned pointer is a heap block taken through kvoMalloc
// and released through kvoFree, and ownership runs handle -> file -> line ->
// property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ckp/ckp.h"
#include "ckp/kvo.h"

// One physical line holds at most 511 characters and the terminator; the
// reader reads at most 510 characters of a line per piece.
inline constexpr int ckpLineSize = 512;
inline constexpr int ckpLinePiece = 510;
// The block in which a read stream's input is taken.
inline constexpr std::size_t ckpInputSize = 16 * 1024;
// Size classes of the property and line blocks a handle keeps for reuse.
inline constexpr int ckpBlockClasses = 6;
// Fixed-size buffers in which messages are composed; longer texts are cut.
inline constexpr int ckpMsgSize = 512;

// Syntax versions of a file.
inline constexpr int ckpSyntaxUnknown = -3;
inline constexpr int ckpSyntaxReadFailed = -2; // header check result only
inline constexpr int ckpSyntaxBadVersion = -1;

struct ckpProp;
struct ckpLine;
struct ckpFile;
struct ckpPropIndex;
struct ckpArenaChunk;

// Full identity of an open file, so that recursion refusal does not depend on
// the 16-bit node alone. `valid` is 0 for standard streams and where the
// platform could not tell.
struct ckpFileId {
    std::uint64_t device;
    std::uint64_t index;
    int valid;
};

struct ckpProp {
    ckpLine* line;
    ckpProp* next;
    char* name;         // in the property's own block
    char* value;        // in the property's own block, null for a flag property
    std::uint64_t hash; // of the name (0 without one), for the name index
    int sizeClass;      // where the block goes back to: see core/pool.hpp
    // Set when neither string needs an escape in the writer's output, which
    // then copies them whole; their lengths are known only then.
    int plain;
    std::uint32_t nameLength;
    std::uint32_t valueLength;
};

struct ckpLine {
    ckpFile* file; // the file whose record holds the line
    ckpLine* next; // the record's next line, null for its last
    // Counted in 64 bits: a file of more than 2^31 lines keeps its count.
    std::int64_t lineNumber; // meaningful on the file's first line only
    // The line's text, in the line's own block right after it: textRoom
    // bytes, ckpLineSize for a line that is read or written into; a
    // continuation line read in full is cut down to its text.
    char* text;
    std::size_t textRoom;
    // Where the record's head (path name, or the header's keyword and
    // version) ends on this line and its properties begin: set on the line
    // where the head ends (the first line unless the head was continued), so
    // it always points into this line's own text; null elsewhere.
    char* headEnd;
    ckpProp* firstProp; // the properties whose names stand on this line
    ckpProp* lastProp;
    // Lines are numbered in the order they were appended to their file, so
    // that the record order of two lines is known without a walk.
    std::uint64_t seq;
    // The physical line number of this line in its file, set by the reader
    // for every line it reads (0 for lines the writer made), so that a fault
    // on a continuation line can be reported with its own number.
    std::int64_t physLine;
    // The small fields last, side by side: a record of very many lines
    // holds one of these for each.
    int loaded;    // set on a record's first line once the reader has read it
    int continued; // the line ended in a backslash: the record goes on
    int sizeClass; // where the block goes back to: see core/pool.hpp
    int hasNul;    // the physical line held a NUL byte; its text ends there
};

struct ckpFile {
    ckpInfo* info;
    ckpFile* prev; // the includer
    ckpFile* next;
    std::uint16_t node;
    char* name; // owned, null for a standard stream
    int syntax;
    std::FILE* stream;
    ckpLine* firstLine;
    ckpLine* lastLine;
    ckpFileId id; // full identity, filled from the stream by tiNewFile
    // Input taken from the stream and not yet read as lines: bytes
    // [inPos, inEnd) of inBuffer (ckpInputSize bytes, owned; null for a
    // stream that is not read). Any repositioning of the stream drops it.
    char* inBuffer;
    std::size_t inPos;
    std::size_t inEnd;
    // The buffer of a stream written by name (owned; null otherwise), freed
    // only after the stream is closed.
    char* streamBuffer;
    // The current record's properties with their strings, and the lines it
    // continues into, taken one after the other from chunks (owned; see
    // core/pool.hpp): properties go with the record's properties, lines
    // with its lines.
    ckpArenaChunk* propArena;
    ckpArenaChunk* lineArena;
    // Names of the current record's properties, one bit per name hash: a
    // name whose bit is clear is not in the record. Cleared when the
    // record's properties are all gone.
    std::uint64_t nameBits;
    // Where the stream stood when the library took it over (-1 when it cannot
    // seek): a file without header is read again from there.
    std::int64_t startOffset;
    // The pieces of lines that the header check read, kept so that the first
    // record of a file without header is read again from them, whole and
    // exactly as the stream gave it, whether or not the stream can seek
    // (owned; see reader/physline.cpp). replayPos is the next piece handed
    // out; replayLost is set when a piece could not be kept.
    char* replay;
    std::size_t replaySize;
    std::size_t replayRoom;
    std::size_t replayPos;
    int replayLost;
};

// How a handle was opened, kept until it is closed.
struct ckpOpening {
    char* mode; // owned: "r", "w" or "a", the stream mode of all its files
    // The stream a caller handed over with ckpxOpenStream: the main file's,
    // flushed but never closed by the library (the caller owns it).
    std::FILE* callerStream;
};

// Where text is appended to the current record: the writer's position, also
// taken by the reader when it makes an include record's text.
struct ckpWriting {
    ckpLine* line; // the line text is appended to, null without a record
    char* pos;     // in line's text: where the next text goes
    // ckpPuts formats a record here and hands the stream whole buffers.
    char outBuffer[8192];
};

// The target of a scan (ckpSetScan): the next ckpGets passes over records
// until one matches it.
struct ckpScanTarget {
    int type;   // a record type or ckpScan* target; ckpScanAny with no name: none
    char* name; // owned; the path a match must have, null for any
};

// The property walks of ckpGenProp over the current record, by id.
struct ckpWalks {
    int count;         // ids handed out for the record (1 to count)
    ckpProp** cursors; // owned, room entries: the next property of each walk
    int room;
};

// ckpOneShot::armed: the one-shot action is obeyed only when armed.
inline constexpr int tiActionOff = 0;
inline constexpr int tiActionArmed = 1;

// The handle's stack of files, and what their records may name.
struct ckpFileStack {
    ckpFile* top;   // the file read or written now; prev leads to its includers
    int rootsAreOK; // set by ckpSetRootsAreOK: a record may name a rooted path
};

// Where the reader stands: the scanner's place in the current record.
struct ckpReading {
    ckpLine* line; // the line being scanned, null without a record
    char* pos;     // in line's text: the next character to scan
    int atEnd;     // the last read stopped at the end of input, not on an error
};

// What the current record is, and the paths the qualifier records set.
struct ckpCurrentRecord {
    int type;                // ckpType* of the record read or written
    char* syntaxMsg;         // owned: why the last faulty record is ckpTypeSyntax
    char* configPath;        // owned: set by the last config-path record
    char* subDir;            // owned: set by the last subdirectory record
    char* objPath;           // owned: the record's path name
    ckpPropIndex* propIndex; // owned: its name index, null until it is large enough
};

// The action left for the next ckpGets (ckpSetAction, the header check).
struct ckpOneShot {
    int action; // ckpAction*
    int armed;  // tiActionArmed while the action waits, else tiActionOff
};

// Freed property and line blocks kept for the next records, by size class.
struct ckpSpareBlocks {
    void* blocks[ckpBlockClasses]; // owned: a chain of freed blocks per class
    int counts[ckpBlockClasses];   // how many blocks each chain holds
};

// A handle: its file stack, how it was opened, the reader's state (its
// place, scan target, current record, property walks and one-shot action),
// the blocks it keeps for reuse, and the writer's state.
struct ckpInfo {
    ckpFileStack files;      // the open files, top of stack first
    ckpOpening opened;       // mode and the caller's stream
    ckpReading read;         // the scanner's line and position in it
    ckpScanTarget scan;      // what the next ckpGets passes over records to find
    ckpCurrentRecord record; // type, path and fault of the current record
    ckpWalks walks;          // the property walks (ckpGenProp) over the current record
    ckpOneShot oneShot;      // the action the next ckpGets obeys once
    ckpSpareBlocks spare;    // freed blocks kept for the next records
    ckpWriting write;        // the append position and the output buffer
};
