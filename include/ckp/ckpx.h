/*
 * ckpx.h - calls of libckp beyond the ckp* interface of ckp.h.
 *
 * The conventions of ckp.h hold: 1 (or a non-NULL pointer) for success, 0
 * (or NULL) for failure with a one-line message that ckpGetError() returns.
 *
 * Valid C99 and C++.
 */
#ifndef CKP_CKPX_H
#define CKP_CKPX_H

#include <stdio.h>

#include "ckp.h"

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(CKP_BUILDING)
#define CKPX_API __declspec(dllexport)
#elif defined(CKP_STATIC)
#define CKPX_API
#else
#define CKPX_API __declspec(dllimport)
#endif
#else
#define CKPX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A handle on a stream the caller has open; every ckp* call of a handle
 * works on it. opCodes "R" reads, "W" writes; only the first character
 * counts, and appending ("A") is refused.
 *  - "R" reads from where the stream stands now, and checks the header
 *    record there as ckpOpen does for a file. The stream is read ahead in
 *    blocks, so where it stands after reading is not where the last record
 *    ended.
 *  - "W" writes at the stream's position; the records reach it through its
 *    own buffer, so ckpFlush (or ckpClose) is needed before the caller uses
 *    the stream itself.
 * name is the stream's file name: ckpGetName gives it, messages and reports
 * show it, and a relative include path is taken from its directory. NULL
 * (or "") gives a handle without a name, as on standard input: ckpGetName
 * gives NULL and relative includes are taken as given.
 * The stream stays the caller's: ckpClose flushes a written stream but
 * never closes it, and reports a failed flush as it reports a failed close
 * (result 1, the system's reason). ckpFlush flushes it, a standard stream
 * too. The caller closes it after ckpClose, never before.
 * Returns the handle, the caller's until ckpClose, or NULL with a message:
 * "empty opCodes", "unknown access mode", "no stream in ckpxOpenStream",
 * the header check's messages of ckpOpen ("illegal major version in
 * syntax", ...), the system's reason for a failed first read, or
 * "ckpInfo allocation failed" and the like. */
CKPX_API ckpInfo* ckpxOpenStream(FILE* stream, const char* name, const char* opCodes);

/* Where the current record lies in its file: *firstOut its first physical
 * line, *lastOut its last, the line ckpReport names (the same for a record
 * of one line; 0 for the header of a file without one). Returns 1, or 0
 * with the handle guard's message ("no ckpInfo in ckpxRecordLines", ...),
 * the outputs then 0. Either output may be NULL. */
CKPX_API int ckpxRecordLines(ckpInfo* info, long long* firstOut, long long* lastOut);

/* The syntax error of the current record, as data rather than the text
 * that ckpSyntax prints: *lineOut the physical line that holds the fault,
 * *columnOut the 1-based byte column of the faulty character in that line's
 * text (one past its end for a fault at the end), *messageOut the message,
 * *textOut the line's text as the reader holds it (a line feed at its end
 * when it had one; tabs as they are). The strings stay
 * valid until the record changes. Returns 1 for a record of type
 * ckpTypeSyntax; 0 otherwise (the outputs 0 and NULL), with the handle
 * guard's message for a handle without a record. Any output may be NULL. */
CKPX_API int ckpxSyntaxError(ckpInfo* info, long long* lineOut, int* columnOut,
                             const char** messageOut, const char** textOut);

#ifdef __cplusplus
}
#endif

#endif /* CKP_CKPX_H */
