/*
 * ckpcxx.h - the call of libckp_cxx that ckp.hpp's Setup saves through: a
 * setup's save into a file that people also edit by hand.
 *
 * The caller remembers a setup's entries and properties as they were
 * loaded. A save applies what changed in memory since then to the file as
 * it is on disk at that moment, under the file's lock: records that the
 * save does not change keep their text, order and comments, a changed
 * record keeps its comments, new records go where their name sorts, and the
 * file's line ends are kept. An entry that was changed both in the file and
 * in memory fails the save, which then writes nothing.
 *
 * No call throws; messages are heap strings that the caller frees with
 * free(). Valid C99 and C++.
 */
#ifndef CKP_CKPCXX_H
#define CKP_CKPCXX_H

#include <stddef.h>

#include "ckp.h"

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(CKP_CXX_BUILDING)
#define CKPCXX_API __declspec(dllexport)
#elif defined(CKP_STATIC)
#define CKPCXX_API
#else
#define CKPCXX_API __declspec(dllimport)
#endif
#else
#define CKPCXX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One entry of a setup as it was loaded: its name and its properties,
 * values[i] NULL for a flag. */
typedef struct ckpcxxEntry {
    const char* name;
    size_t count;
    const char* const* names;
    const char* const* values;
} ckpcxxEntry;

/* Saves the changes made to the setup since it was `loaded` (count entries)
 * into `file`. Returns 1, or 0 with a message in *messageOut (when given,
 * NULL when no memory was left) that names the file, or the entry of a
 * conflict; the file is then left as it was. */
CKPCXX_API int ckpcxxSaveChanges(const char* setup, const char* file, const ckpcxxEntry* loaded,
                                 size_t count, char** messageOut);

#ifdef __cplusplus
}
#endif

#endif /* CKP_CKPCXX_H */
