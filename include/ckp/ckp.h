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
 * returns 1 whenever it did something, the outcome being ckpGetType().
 * Strings handed out by the reading queries belong to the handle and stay
 * valid until its record changes; strings handed out by the setup store are
 * the caller's, released with free().
 *
 * The library keeps process-wide state (the error state, the setup
 * registry): use it from one thread at a time.
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

/* The last recorded message, or "unknown error". Never NULL; the buffer is
 * reused by the next call. */
CKP_API const char* ckpGetError(void);

/* The number of messages recorded since the last call; resets it to 0. */
CKP_API int ckpGetNumError(void);

/* ---- Handles -------------------------------------------------------- */

/* Stores the name of the handle's current file (current != 0: the included
 * file being read, if any) or of its main file (current == 0) in *nameOut;
 * NULL for a standard stream. 1 on success. */
CKP_API int ckpGetName(ckpInfo* info, int current, char** nameOut);

/* Opens a file: opCodes "R" reads (standard input without a name), "W"
 * writes (standard output without a name), "A" appends (a name is needed).
 * Reading tries `name`, then `name.Ckpt`, and checks the header record.
 * Writing by name replaces the file safely (see kvoReplaceBegin in kvo.h):
 * the records go to a temporary beside the file, and ckpClose puts them in
 * place in one step, so that the file holds its old content until then and
 * keeps it when a write failed; devices and FIFOs are written in place.
 * NULL on failure. */
CKP_API ckpInfo* ckpOpen(const char* name, const char* opCodes);

/* Closes the stream (never a standard stream) and frees the handle; a file
 * written by name gets its new content now. Returns 0 on success, 1 when
 * closing the stream failed or a write had failed (the handle is freed all
 * the same, and a file written by name keeps its old content); 0 for
 * NULL. */
CKP_API int ckpClose(ckpInfo* info);

/* Flushes the current stream. 1 on success or when there is nothing to
 * flush; 0 for NULL or a failed flush. */
CKP_API int ckpFlush(ckpInfo* info);

/* The syntax version (0 or 1) of the handle's current file, or, without a
 * handle, of the file `name` (opened and closed for it). Without either,
 * stores 1. 1 when a valid version was stored. */
CKP_API int ckpGetSyntax(ckpInfo* info, const char* name, int* syntaxOut);

/* Non-zero flag: record paths that start at a root are accepted. */
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
 * actionSet is 1. 0 for a NULL handle. */
CKP_API int ckpSetAction(ckpInfo* info, int actionSet, int action);

/* ---- Reading -------------------------------------------------------- */

/* Makes the next record current. Returns 0 for NULL or when a plain read is
 * asked at the end of the main file, else 1; the outcome is ckpGetType(). */
CKP_API int ckpGets(ckpInfo* info);

/* The current record's type; ckpTypeError for NULL. */
CKP_API int ckpGetType(ckpInfo* info);

/* Stores the value of the first property named `name` in *value (NULL for a
 * flag property). 1 when the property exists, 0 otherwise. */
CKP_API int ckpGetProp(ckpInfo* info, const char* name, char** value);

/* Walks the current record's properties: start with *id = 0 and call until
 * it returns 0 (then *id is 0 again). name and value may be NULL. */
CKP_API int ckpGenProp(ckpInfo* info, int* id, char** name, char** value);

/* The current record's path; the last config path; the last subdirectory.
 * NULL when none (ckpGetConfigPath gives "<unknown>" for a NULL handle). */
CKP_API char* ckpGetObjPath(ckpInfo* info);
CKP_API char* ckpGetConfigPath(ckpInfo* info);
CKP_API char* ckpGetSubDir(ckpInfo* info);

/* Scan targets of ckpSetScan besides the record types. */
enum {
    ckpScanAny = 0,        /* a record of any type */
    ckpScanPastInclude = 1 /* the record after the next include record, whose file is not read */
};

/* Makes the next ckpGets pass over records until one of the given type
 * (a record type or a ckpScan* target) and path (NULL: any) comes;
 * rewindFlag first goes back to the start of the current file. ckpScanAny
 * with no name clears the target. */
CKP_API int ckpSetScan(ckpInfo* info, int rewindFlag, int type, const char* name);

/* After a config-path or subdirectory record: the next ckpGets skips to the
 * next record of the same kind. 0 for any other record. */
CKP_API int ckpSetIgnore(ckpInfo* info);

/* ---- Writing -------------------------------------------------------- */

/* Record-starting calls: each empties the current record and gives it its
 * head. ckpCreateHdr needs mode "W"; the others "W" or "A".
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
 * refused too ("no path name in <call>"). After a refusal the record is
 * empty and has no type, so ckpPuts writes a bare line end. */
CKP_API int ckpCreateHdr(ckpInfo* info);
CKP_API int ckpCreateObj(ckpInfo* info, const char* path);
CKP_API int ckpSetConfigPath(ckpInfo* info, const char* path);
CKP_API int ckpSetSubDir(ckpInfo* info, const char* path);
CKP_API int ckpRecord(ckpInfo* info, const char* text, int comment);

/* Adds a property (value NULL: a flag). Names are letters, digits and '_';
 * a name may occur once per record ("non-unique property name"). Refused
 * with a message:
 *  - "illegal property name": another character in the name, a NULL name,
 *    an empty name without value, or an empty name right after a flag (it
 *    would read back as the flag's value);
 *  - "illegal property value": a line feed in the value;
 *  - "property too long for one line in ckpPutProp": a property whose
 *    written form (name, "=", the quoted value with its escapes) is longer
 *    than 508 characters, so that it fits a line of its own with the
 *    backslash that continues the record;
 *  - "no room for properties after the head in ckpPutProp": a head of 510
 *    characters fills its line. */
CKP_API int ckpPutProp(ckpInfo* info, const char* name, const char* value);

/* Writes the current record and its line end. 1 when all was written. */
CKP_API int ckpPuts(ckpInfo* info);

/* Copies source's current record into destination as a new record; write
 * it with ckpPuts(destination). A record that cannot be written so that it
 * reads back as it is (a line wider than 510 characters however it is laid
 * out, a property without name where it would be lost) is refused with
 * "record "<path>" cannot be written in ckpXfer: <reason>", and the
 * destination's record is left empty. */
CKP_API int ckpXfer(ckpInfo* source, ckpInfo* destination);

/* ---- Diagnostics ---------------------------------------------------- */

/* Prints `before on line N of "file" after` to stream (NULL: the error
 * reporter), with the record's first line (allLines: every line) before it
 * (recordPos < 0) or after it (recordPos > 0). Texts of any length are
 * printed whole (composed on the heap when longer than 511 characters; cut
 * there only when no memory is left). Returns 1 when every text was printed
 * for a complete handle; 0 for a handle without file or record, which prints
 * `before (error text) after` instead, or when a print failed. */
CKP_API int ckpReport(ckpInfo* info, FILE* stream, int allLines, int recordPos, const char* before,
                      const char* after);

/* Prints the last syntax error through the error reporter: a report line,
 * the faulty line and a marker under the faulty place. */
CKP_API void ckpSyntax(ckpInfo* info);

/* ---- Setups --------------------------------------------------------- */

CKP_API int ckpSetupGetEntry(const char* setup, const char* entry);
CKP_API int ckpSetupCreateEntry(const char* setup, const char* entry, const char* type);
CKP_API int ckpSetupDelEntry(const char* setup, const char* entry);
/* NULL-terminated list of copies, released with kvoFreeStrlist. */
CKP_API kvoStrlist* ckpSetupGetEntryList(const char* setup);
CKP_API int ckpSetupSetProp(const char* setup, const char* entry, const char* name,
                            const char* value);
CKP_API int ckpSetupDelProp(const char* setup, const char* entry, const char* name);
/* *value receives a copy (release with free); NULL for a flag property. */
CKP_API int ckpSetupGetProp(const char* setup, const char* entry, const char* name, char** value);
/* NULL-terminated arrays of copies; the caller frees both and every string. */
CKP_API int ckpSetupGetAllProps(const char* setup, const char* entry, char*** names,
                                char*** values);
CKP_API int ckpSetupLoad(const char* name);
CKP_API int ckpSetupLoadGroup(const char* name, const char* group);
CKP_API int ckpSetupCreate(const char* name);
/* path NULL: the load path; "-": a dump on standard error. The save holds
 * the lock of the file's directory (kvoLockFile) while it writes, and
 * replaces the file safely: a failed save leaves the file as it was. */
CKP_API int ckpSetupSave(const char* name, const char* path);
CKP_API int ckpSetupClear(const char* name);

#ifdef __cplusplus
}
#endif

#endif /* CKP_CKP_H */
