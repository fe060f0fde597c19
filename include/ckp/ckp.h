/*
 * ckp.h - read and write checkpoint files, and keep setups.
 *
 * A checkpoint file is a line-oriented text file of records: a header record
 * `WRXCHECKPOINT="1.0"`, then data records, each a path name followed by
 * `name="value"` properties. Lines continue with a trailing backslash and
 * `;` starts a comment. Files without a header (syntax version 0) carry
 * positional fields instead of named properties.
 *
 * Conventions: functions return 1 (or a non-NULL pointer) on success and 0
 * (or NULL) on failure, and a failure leaves a one-line message that
 * ckpGetError() returns. Exceptions: ckpClose returns 0 on success; ckpGets
 * returns 1 whenever it did something, the outcome being ckpGetType(); the
 * setup calls report through kvoReportError instead. A call given a NULL
 * handle, or one without file or record, fails with "no ckpInfo in <call>",
 * "no ckpFile in <call>" or "no ckpLine in <call>" (the handle guard).
 * Strings handed out by the reading queries belong to the handle and stay
 * valid until its record changes; strings handed out by the setup store are
 * the caller's, released with free().
 *
 * The error state is kept per thread: ckpGetError() tells of the calling
 * thread's last failure. Handles that are each used by one thread may be
 * read in several threads at once. The setup registry is process-wide: use
 * the setup calls from one thread at a time.
 *
 * Valid C99 and C++.
 */
#ifndef CKP_CKP_H
#define CKP_CKP_H

#include <stdio.h>

#include "kvo.h"

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(CKP_BUILDING)
#define CKP_API __declspec(dllexport)
#elif defined(CKP_STATIC)
#define CKP_API
#else
#define CKP_API __declspec(dllimport)
#endif
#else
#define CKP_API __attribute__((visibility("default")))
#endif

/* The library's version; the build refuses a project version that differs. */
#define CKP_VERSION_MAJOR 1
#define CKP_VERSION_MINOR 0
#define CKP_VERSION_PATCH 0
#define CKP_VERSION "1.0.0"

#ifdef __cplusplus
extern "C" {
#endif

/* A handle on an open checkpoint file; made by ckpOpen, freed by ckpClose. */
typedef struct ckpInfo ckpInfo;

/* Record types, as ckpGetType returns them. */
enum {
    ckpTypeNone = 0,        /* a data record with an empty path; nothing begun */
    ckpTypeComment = 3,     /* a comment or blank line */
    ckpTypeError = 4,       /* reading failed; see ckpGetError() */
    ckpTypeSyntax = 5,      /* a malformed record; show it with ckpSyntax */
    ckpTypeHeader = 6,      /* the header record (empty for syntax version 0) */
    ckpTypeInclude = 7,     /* an include record: the next ckpGets reads its file */
    ckpTypeObject = 8,      /* an object record */
    ckpTypeConfigPath = 9,  /* a config-path record (qualifier WRXc) */
    ckpTypeSubDir = 10,     /* a subdirectory record (qualifier WRXsd) */
    ckpTypeEndInclude = 11, /* an included file ended; reading goes on in its includer */
    ckpTypeEnd = 12         /* the main file ended */
};

/* The property that holds the <PYXE_version> field (`5.1` in
 * `lib/cell 3 static 5.1`) of a record read from a syntax-version-0 file.
 * The other positional fields are WRXv (version), WRXb (binding) and WRXo
 * (operation: "reset_default" for rollback, "co" for checkout). */
#define CKP_PROP_PYXE_VERSION "WRXpv"

/* A data record of syntax version 1 that carries this path qualifier is an
 * include record: the next ckpGets reads the file its path names (relative
 * paths are taken from the including file's directory) and then reads on. */
#define CKP_PROP_INCLUDE "WRXinc"

/* ---- Error state ---------------------------------------------------- */

/* The last recorded message, or "unknown error". Never NULL, never fails.
 * The buffer belongs to the library and is rewritten by the next call. */
CKP_API const char* ckpGetError(void);

/* The number of messages recorded since the last call; resets it to 0.
 * Never fails. */
CKP_API int ckpGetNumError(void);

/* ---- Handles -------------------------------------------------------- */

/* Stores in *nameOut the name of the handle's current file (current != 0:
 * the included file being read, if any) or of its main file (current == 0),
 * as it was opened (with ".Ckpt" when that was the file found); NULL for a
 * standard stream. The name belongs to the handle and stays valid while
 * that file is open. 1 on success; 0 with "no fileName pointer in
 * ckpGetName" for a NULL nameOut, or "no ckpInfo in ckpGetName" / "no
 * ckpFile in ckpGetName" (the handle guard; *nameOut is then NULL). */
CKP_API int ckpGetName(ckpInfo* info, int current, char** nameOut);

/* Opens a file: opCodes "R" reads (standard input without a name), "W"
 * writes (standard output without a name), "A" appends to an existing file
 * (a name is needed). Only the first character counts.
 * Reading and appending try `name`, then `name.Ckpt`; reading checks the
 * header record.
 * Writing by name creates the file, or truncates it, at once and writes it
 * in place: the file exists when ckpOpen returns, and ckpFlush makes the
 * records written so far visible to any reader. A write that fails midway
 * leaves what was written. To publish a file only when it is complete,
 * write through a replacement (kvoReplaceBegin in kvo.h) with a handle on
 * its stream (ckpxOpenStream in ckpx.h), as ckpSetupSave does.
 * Returns the handle, the caller's until ckpClose, or NULL with a message:
 * "empty opCodes", "unknown access mode", "no file name given for append
 * mode", "<name>: file not found", "<name>: <system reason>", "file name too
 * long in tOpen", "illegal major version in syntax", "illegal minor version
 * in syntax", "unknown syntax version in tiStart" (a header of a major
 * version other than 0 and 1, however many digits it has), the system's
 * reason for a failed first read, or
 * "ckpInfo allocation failed" and the like. */
CKP_API ckpInfo* ckpOpen(const char* name, const char* opCodes);

/* Closes the stream (never a standard stream, never a stream handed over
 * with ckpxOpenStream, which is only flushed) and frees the handle. Returns
 * 0 on success, 1 when flushing or closing the stream failed, with the
 * system's reason as the message (the handle is freed all the same); 0 for
 * NULL. Strings the handle handed out are freed with it. */
CKP_API int ckpClose(ckpInfo* info);

/* Flushes the current stream. 1 on success or when there is nothing to
 * flush (a standard stream is left alone); 0 for NULL (no message) or a
 * failed flush (the system's reason). */
CKP_API int ckpFlush(ckpInfo* info);

/* The syntax version (0 or 1) of the handle's current file, or, without a
 * handle, of the file `name` (opened and closed for it). Without either,
 * stores 1. syntaxOut may be NULL. 1 when a valid version was stored; 0
 * with "no ckpFile in ckpGetSyntax" (nothing stored), with a negative value
 * stored and "unknown syntax version" or "error in syntax version
 * property", or, for a name, with -3 stored and ckpOpen's message. */
CKP_API int ckpGetSyntax(ckpInfo* info, const char* name, int* syntaxOut);

/* Non-zero flag: record paths that start at a root are accepted. Without
 * it (the default) such a record, config paths excepted, reads as
 * ckpTypeSyntax with "use relative path name". A NULL handle is ignored. */
CKP_API void ckpSetRootsAreOK(ckpInfo* info, int flag);

/* One-shot actions that ckpSetAction leaves for the next ckpGets. */
enum {
    ckpActionNone = 0,      /* read on */
    ckpActionRaw = 1,       /* read the next record raw, without building it */
    ckpActionBuild = 2,     /* build the held record */
    ckpActionReconcile = 3, /* type the held record */
    ckpActionKeep = 4,      /* return the held record unchanged */
    ckpActionScan = 5       /* scan for the target of ckpSetScan */
};

/* Leaves a one-shot action (ckpAction*) for the next ckpGets, obeyed when
 * actionSet is 1. 1, or 0 with "no ckpInfo in ckpSetAction" for NULL. */
CKP_API int ckpSetAction(ckpInfo* info, int actionSet, int action);

/* ---- Reading -------------------------------------------------------- */

/* Makes the next record current; what earlier queries handed out for the
 * old record is no longer valid. Returns 0 for NULL (no message) or when a
 * plain read is asked at the end of the main file, else 1; the outcome is
 * ckpGetType(). A failure is a record type: ckpTypeError leaves the reason
 * (the handle guard's, the system's for a failed read); ckpTypeSyntax
 * leaves the fault's message (the one ckpSyntax shows), and reading goes on
 * with the next ckpGets. A file without header (syntax version 0) begins
 * with an empty header record, and its first record reads exactly as it
 * would anywhere else in the file, all its lines included, also on a
 * stream that cannot seek. */
CKP_API int ckpGets(ckpInfo* info);

/* The current record's type; ckpTypeError with "no ti_struct in ckpGetType"
 * for NULL. */
CKP_API int ckpGetType(ckpInfo* info);

/* Stores the value of the first property named `name` in *value (NULL for a
 * flag property); value may be NULL. The value belongs to the handle and
 * stays valid until the record changes. 1 when the property exists; 0
 * without a message when it does not; 0 with "no property name in
 * ckpGetProp" for a NULL or empty name, or the handle guard's message.
 * *value is NULL after a 0. */
CKP_API int ckpGetProp(ckpInfo* info, const char* name, char** value);

/* Walks the current record's properties: start with *id = 0 and call until
 * it returns 0 (then *id is 0 again). name and value may be NULL; the
 * strings belong to the handle and stay valid until the record changes,
 * which also ends every walk. Several walks may run at once, each with its
 * own id. 0 with a message for a NULL handle ("no ckpInfo in ckpGenProp"),
 * a NULL id or one not handed out for the current record ("illegal property
 * generator id"), a handle without record ("no ckpFile in ckpGenProp", "no
 * ckpLine in ckpGenProp"), or no memory ("ckpProp state allocation
 * failed"). */
CKP_API int ckpGenProp(ckpInfo* info, int* id, char** name, char** value);

/* The current record's path; the last config path; the last subdirectory.
 * NULL when none (ckpGetConfigPath gives "<unknown>" for a NULL handle);
 * never a message. The strings belong to the handle: the path stays valid
 * until the next record is read or begun, the other two until the next
 * record of their kind or a ckpXfer into the handle. */
CKP_API char* ckpGetObjPath(ckpInfo* info);
CKP_API char* ckpGetConfigPath(ckpInfo* info);
CKP_API char* ckpGetSubDir(ckpInfo* info);

/* Scan targets of ckpSetScan besides the record types. */
enum {
    ckpScanAny = 0,        /* a record of any type */
    ckpScanPastInclude = 1 /* the record after the next include record, whose file is not read */
};

/* Makes the next ckpGets pass over records until one of the given type
 * (a record type or a ckpScan* target) and path (NULL: any; copied) comes;
 * a scan also stops at the end of the main file and at a read error.
 * rewindFlag first goes back to the start of the current file. ckpScanAny
 * with no name clears the target. 1 on success; 0 with "no ckpInfo in
 * ckpSetScan" or "no ckpFile in ckpSetScan" (the handle guard), "seek
 * failed on "<file>"" (a stream that cannot go back), or "scan name
 * allocation failed". */
CKP_API int ckpSetScan(ckpInfo* info, int rewindFlag, int type, const char* name);

/* After a config-path or subdirectory record: the next ckpGets skips to the
 * next record of the same kind. 1 when set; 0 without a message for any
 * other record; the handle guard's message for a handle without file. */
CKP_API int ckpSetIgnore(ckpInfo* info);

/* ---- Writing -------------------------------------------------------- */

/* Record-starting calls: each empties the current record and gives it its
 * head; 1 on success, 0 with a message. ckpCreateHdr needs mode "W"; the
 * others "W" or "A" ("illegal access mode in <call>"; a reading handle loses
 * its record all the same). They fail with the handle guard's message too.
 * Every record written reads back as it was written; what the syntax cannot
 * carry is refused with a message:
 *  - a head longer than a line holds, 510 characters (a path once quoted,
 *    a ckpRecord text with its ";"): "path name too long for one line in
 *    <call>", "record text too long for one line in ckpRecord". The path of
 *    ckpSetConfigPath and ckpSetSubDir may take 509, as its qualifier must
 *    follow it;
 *  - a path that cannot come back, "path name "<path>" cannot be written in
 *    <call>": an empty one (it would make a record without kind), one with
 *    a line feed, one with a ';' that has no backslash before it, and one
 *    that must be quoted (it holds a blank, tab or vertical tab, or begins
 *    with a backslash and a double quote) and ends in a backslash;
 *  - a ckpRecord text with a line feed or a final carriage return, or one
 *    that is no comment or blank line and whose content ends in a backslash
 *    (it would continue on the next line): "record text "<text>" cannot be
 *    written in ckpRecord".
 * Line ends in a quoted path or text are shown as \n and \r. A NULL path is
 * refused too ("no path name in <call>"); a NULL ckpRecord text is an empty
 * one. After a refusal the record is empty and has no type, so ckpPuts
 * writes a bare line end and ckpPutProp refuses to add to it. The path is copied: ckpGetObjPath,
 * ckpGetConfigPath and ckpGetSubDir return it afterwards. */
CKP_API int ckpCreateHdr(ckpInfo* info);
CKP_API int ckpCreateObj(ckpInfo* info, const char* path);
CKP_API int ckpSetConfigPath(ckpInfo* info, const char* path);
CKP_API int ckpSetSubDir(ckpInfo* info, const char* path);
CKP_API int ckpRecord(ckpInfo* info, const char* text, int comment);

/* Adds a property (value NULL: a flag) to the current record; name and
 * value are copied. 1 on success. Names are letters, digits and '_'; a name
 * may occur once per record ("non-unique property name"). Refused with a
 * message:
 *  - "illegal property name": another character in the name, a NULL name,
 *    an empty name without value, or an empty name right after a flag (it
 *    would read back as the flag's value);
 *  - "illegal property value": a line feed in the value;
 *  - "property too long for one line in ckpPutProp": a property whose
 *    written form (name, "=", the quoted value with its escapes) is longer
 *    than 508 characters, so that it fits a line of its own with the
 *    backslash that continues the record;
 *  - "no room for properties after the head in ckpPutProp": a head of 510
 *    characters fills its line;
 *  - "illegal access mode in ckpPutProp" (a reading handle), the handle
 *    guard's message, "ckpProp allocation failed";
 *  - after those tests, "no record to add a property to in ckpPutProp":
 *    no record was begun, or its record-starting call (ckpCreateObj,
 *    ckpSetConfigPath, ckpSetSubDir, ckpRecord, ckpXfer) was refused, so
 *    that ckpPuts would write a bare line end without the property;
 *  - "a comment record holds no properties in ckpPutProp": the record is a
 *    comment or blank line (ckpRecord, or a comment transferred), where the
 *    property would read back as part of its text;
 *  - "a trailing comment would hide the property in ckpPutProp": the record
 *    is a ckpRecord data line with a ';' that has no backslash before it;
 *  - "a record without head holds no properties in ckpPutProp": a record
 *    transferred without head text or properties (the empty header of a
 *    file without one, the end of a file), where the property would read
 *    back as a path.
 * A refused property leaves the record as it was. */
CKP_API int ckpPutProp(ckpInfo* info, const char* name, const char* value);

/* Writes the current record and its line end; the record stays current.
 * 1 when all was written; 0 with "illegal access mode in ckpPuts", the
 * handle guard's message, "no file in ckpPuts", or the system's reason for
 * a failed write (a file written by name then keeps its old content at
 * ckpClose). */
CKP_API int ckpPuts(ckpInfo* info);

/* Copies source's current record into destination as a new record; write
 * it with ckpPuts(destination). 1 on success. A record that cannot be
 * written so that it reads back as it is (a line wider than 510 characters
 * however it is laid out, a property without name where it would be lost)
 * is refused with "record "<path>" cannot be written in ckpXfer: <reason>",
 * and the destination's record is left empty. A record without type (a
 * path "" with properties) is written as it was read. Other failures: "no source to
 * ckpXfer", "source and destination are the same ckpInfo in tiCopy", the
 * destination's checks as for the record-starting calls, and allocation
 * failures ("ckpXfer string allocation failed", ...). A refusal after
 * the destination's checks leaves its record empty and without type, as a
 * refused record-starting call does. The source is not
 * changed. */
CKP_API int ckpXfer(ckpInfo* source, ckpInfo* destination);

/* ---- Diagnostics ---------------------------------------------------- */

/* Prints `before on line N of "file" after` to stream (NULL: the error
 * reporter), N being the record's last physical line (0 for the header
 * record of a file without one, which holds no line unless the file begins
 * with a blank line), with the record's first line (allLines: every line)
 * before it
 * (recordPos < 0) or after it (recordPos > 0). before and after may be
 * NULL (empty). Texts of any length are printed whole (composed on the heap
 * when longer than 511 characters; cut there only when no memory is left).
 * Returns 1 when every text was printed for a complete handle; 0 for a
 * handle without file or record, which prints `before (error text) after`
 * instead, the error text being the handle guard's message, or when a
 * print failed. */
CKP_API int ckpReport(ckpInfo* info, FILE* stream, int allLines, int recordPos, const char* before,
                      const char* after);

/* Prints the handle's last syntax error through the error reporter: a
 * report line, the faulty line and a marker under the faulty place. Prints
 * nothing when the handle has had none. A NULL handle, or one without file
 * or current line, prints its message and a line naming what is missing
 * ("no ckpInfo in ckpSyntax", ...) instead. */
CKP_API void ckpSyntax(ckpInfo* info);

/* ---- Setups ---------------------------------------------------------
 * A setup is a named collection of entries, each a named table of
 * properties (name and value, NULL for a flag), held in a process-wide
 * registry under the name it was loaded or created with. Names compare as
 * unsigned bytes, and every listing is in ascending order.
 * These calls answer 1 or 0. They never set the error state of
 * ckpGetError themselves (the reader and writer calls they make may):
 * what a person should see goes through kvoReportError as
 * "Error (<function>): <text>" or "Warning (<function>): <text>". A
 * setup, entry or property that is not there, or a NULL name for one,
 * gives 0 without a message unless said otherwise.
 * Calls that change a setup mark it modified; nothing reaches its file
 * before ckpSetupSave. */

/* 1 when the setup is in the registry and has the entry, else 0. */
CKP_API int ckpSetupGetEntry(const char* setup, const char* entry);

/* Adds the entry, with the property "entrytype" set to type when type is
 * neither NULL nor empty. 0 when the setup is not in the registry or has
 * the entry already (silently), for a NULL or empty entry name ("Error
 * (ckpSetupAddEntry): checkpoint add entry called with no name value."),
 * and without memory (silently, or with "Error (kvoSetupCreateEntry):
 * couldn't add property to checkpoint entry." or "Error
 * (kvoSetupAddEntry): couldn't add entry to checkpoint."). */
CKP_API int ckpSetupCreateEntry(const char* setup, const char* entry, const char* type);

/* Removes the entry and its properties. 0 when there is no such entry, or
 * no memory is left for the removal (the entry then stays). */
CKP_API int ckpSetupDelEntry(const char* setup, const char* entry);

/* The setup's entry names in ascending order: a NULL-terminated list of
 * copies, the caller's, released with kvoFreeStrlist. NULL when the setup
 * is not in the registry, has no entries, or no memory is left. */
CKP_API kvoStrlist* ckpSetupGetEntryList(const char* setup);

/* Sets the entry's property `name` to a copy of value (NULL: a flag),
 * adding it or replacing its value. The name is not checked here: one that
 * the writer refuses makes ckpSetupSave fail. 0 when the setup or entry is
 * unknown, name is NULL, or no memory is left (the old value then stays). */
CKP_API int ckpSetupSetProp(const char* setup, const char* entry, const char* name,
                            const char* value);

/* Removes the entry's property. 0 when there is no such property, or no
 * memory is left for the removal (the property then stays). */
CKP_API int ckpSetupDelProp(const char* setup, const char* entry, const char* name);

/* On 1, *value receives a copy of the property's value, the caller's to
 * release with free(); NULL for a flag property. 0 when the property is
 * unknown, value is NULL or no memory is left; *value is then unchanged. */
CKP_API int ckpSetupGetProp(const char* setup, const char* entry, const char* name, char** value);

/* On 1, *names receives the entry's property names in ascending order, a
 * NULL-terminated array of copies, and *values an array of as many values,
 * values[i] being the value of names[i] (NULL for a flag, so walk by
 * names). The caller frees every string and both arrays with free(). 0 when
 * the entry is unknown, names or values is NULL, or no memory is left;
 * *names and *values are then unchanged. */
CKP_API int ckpSetupGetAllProps(const char* setup, const char* entry, char*** names,
                                char*** values);

/* ckpSetupLoadGroup(name, "kvosetup"). */
CKP_API int ckpSetupLoad(const char* name);

/* Loads the setup file `name` into the registry under that name: the file
 * of that name when it exists, else the file that search group `group`
 * (NULL: "kvosetup") finds (see kvoSearchGroupPath in kvo.h). Every object
 * record becomes an entry named by its path, with its properties; other
 * records are passed over. 1 when loaded, or when the setup is in the
 * registry already (its file is not read again, changes in memory stay).
 * 0 for a NULL or empty name, a file not found, or no memory (silently),
 * and for a file with any fault: the file is read to its end (a read error
 * stops it), every fault is reported (a syntax error as ckpSyntax shows
 * it; "Error (ckpSetupReadSetup): ..." for a file that cannot be opened,
 * lacks its header or holds a second one; the reason alone for a read
 * error; "Error (kvoSetupAddEntry): couldn't add entry to checkpoint." for
 * an entry named twice), and nothing enters the registry. A property
 * named twice in a record is dropped with "Warning (ckpSetupMakeEntry):
 * couldn't add property to checkpoint entry.", and the load goes on. */
CKP_API int ckpSetupLoadGroup(const char* name, const char* group);

/* Enters a new empty setup, to be saved to the file `name`. 1 when made or
 * already in the registry (then unchanged); 0, silently, for a NULL or
 * empty name, when a file of that name exists (load it instead), or
 * without memory. */
CKP_API int ckpSetupCreate(const char* name);

/* Writes the setup to path; path NULL or empty: its load path; "-": a dump
 * on standard error. A path is made absolute and its missing directories
 * are made; the load path and the modified mark stay as they were. The save
 * holds the lock of the file's directory (kvoLockFile) while it writes, and
 * replaces the file safely: a failed save leaves the file as it was.
 * 1 when written. 0 silently when the setup is not in the registry, no
 * memory is left, or the path cannot be made absolute or its directories
 * made; 0 with a report when the lock, the open, a record or the close
 * fails ("Error (ckpSetupWriteSetup): couldn't lock <path> for write:
 * <reason>", "Error (ckpSetupWriteEntry): writing property to checkpoint
 * file failed." for a property name the writer refuses, ...). */
CKP_API int ckpSetupSave(const char* name, const char* path);

/* Removes the setup from the registry and frees it without saving: what
 * was not saved is lost. 0 when the setup is not in the registry (or no
 * memory is left for the removal). */
CKP_API int ckpSetupClear(const char* name);

#ifdef __cplusplus
}
#endif

#endif /* CKP_CKP_H */
