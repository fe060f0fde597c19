// Replacing a file safely: the one way in which ckp, kvo and the ckp command
// write a file by name. The new content is written to an exclusive
// temporary beside the final file and renamed over it only when it is
// complete and on the disk, so that the name always holds the old or the
// whole new content.
#include <cerrno>
#include <cstring>

#include "ckp/kvo.h"
#include "support/platform.hpp"

struct kvoReplacement {
    char* given;  // the name given, for an edit: it must still lead to target at commit
    char* target; // the final file, after links
    char* temp;   // null: the target is written in place
    std::FILE* stream;
    char* buffer; // the stream's buffer (owned), null for the runtime's own
    int flags;
    kvoReplacement* volatile nextPending;
    platform::Source source; // the final file as it was opened (an edit keeps its stream)
};

namespace {
constexpr const char* tempPrefix = ".ckp-";

kvoCommitHook commitHook = nullptr;
void* commitHookData = nullptr;

// Replacements with a temporary, for kvoRemoveTemporaries. A signal handler
// walks this list, so every change to it is one store of a pointer to a
// replacement whose fields are already set.
kvoReplacement* volatile pending = nullptr;

void remember(kvoReplacement* r) {
    r->nextPending = pending;
    pending = r;
}

void forget(const kvoReplacement* r) {
    for (kvoReplacement* volatile* p = &pending; *p != nullptr; p = &(*p)->nextPending) {
        if (*p == r) {
            *p = r->nextPending;
            return;
        }
    }
}

bool isEdit(const kvoReplacement* r) {
    return (r->flags & KVO_REPLACE_EDIT) != 0;
}

// Creates the temporary under a fresh name; a name someone holds (a stale
// file, a planted link) is passed over, never opened.
int createTemp(kvoReplacement* r) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[16] = {};
        std::strcpy(name, tempPrefix);
        platform::uniqueTag(name + std::strlen(tempPrefix));
        r->temp = platform::beside(r->target, name);
        if (r->temp == nullptr) {
            return ENOMEM;
        }
        r->stream = platform::createExclusive(r->temp, isEdit(r));
        if (r->stream != nullptr) {
            return 0;
        }
        int e = errno;
        r->temp = static_cast<char*>(kvoFree(r->temp));
        if (e != EEXIST) {
            return e;
        }
    }
    return EEXIST;
}

void closeSource(kvoReplacement* r) {
    if (r->source.stream != nullptr) {
        std::fclose(r->source.stream);
        r->source.stream = nullptr;
    }
}

// Special files are written where they are: renaming a new file over a
// device or a pipe would replace the node itself. An edit refuses them.
int startInPlace(kvoReplacement* r) {
    if (isEdit(r)) {
        return KVO_ENOTREGULAR;
    }
    r->stream = platform::openInPlace(r->target);
    return r->stream != nullptr ? 0 : errno;
}

int start(kvoReplacement* r, const char* target) {
    if (isEdit(r) && (r->given = platform::copyOf(target, std::strlen(target))) == nullptr) {
        return ENOMEM;
    }
    r->target = platform::resolveLinks(target);
    if (r->target == nullptr) {
        return errno != 0 ? errno : EINVAL;
    }
    if ((r->flags & KVO_REPLACE_NEW) != 0 && platform::pathKind(r->target) != 0) {
        return EEXIST;
    }
    int inPlace = platform::writtenInPlace(target, r->target);
    if (inPlace != 0) {
        return inPlace < 0 ? errno : startInPlace(r);
    }
    int e = platform::openSource(r->target, isEdit(r), &r->source);
    if (e != 0) {
        return e;
    }
    e = platform::removeStaleTemporaries(r->target, tempPrefix);
    if (e == 0) {
        e = createTemp(r);
    }
    if (e == 0) {
        remember(r);
        e = platform::carryOver(r->stream, r->source.facts, r->source.stream);
    }
    if (e != 0) {
        return e;
    }
    if (!isEdit(r)) {
        closeSource(r);
    }
    return 0;
}

// Writes out what the stream holds; 0 or the reason it failed. A write that
// failed earlier leaves the content incomplete even when nothing is left to
// flush.
int flushStream(std::FILE* stream) {
    if (platform::ioFails(KVO_IO_WRITE)) {
        return errno;
    }
    errno = 0;
    if (std::fflush(stream) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return std::ferror(stream) ? EIO : 0;
}

int closeStream(std::FILE* stream, int err) {
    if (std::fclose(stream) != 0 && err == 0) {
        err = errno != 0 ? errno : EIO;
    }
    return err;
}

void release(kvoReplacement* r) {
    forget(r);
    closeSource(r);
    kvoFree(r->temp);
    kvoFree(r->given);
    kvoFree(r->target);
    kvoFree(r->buffer); // its stream is closed by now
    kvoFree(r);
}

// A temporary is written in large blocks: a file of many records then costs
// few system calls. A file written in place (a device, a FIFO) keeps the
// runtime's buffering. The block is taken before anything is created, so
// that without memory for it nothing is left behind.
constexpr std::size_t streamBufferSize = 64 * 1024;

void useLargeBuffer(kvoReplacement* r) {
    if (r->temp == nullptr || std::setvbuf(r->stream, r->buffer, _IOFBF, streamBufferSize) != 0) {
        r->buffer = static_cast<char*>(kvoFree(r->buffer)); // the runtime's buffer serves
    }
}

// An edit publishes only over the file it read. When there was none, the
// rename itself refuses a file that appeared meanwhile.
int checkEdited(kvoReplacement* r) {
    if (!isEdit(r)) {
        return 0;
    }
    if (!platform::sourceOpenThroughRename) {
        closeSource(r);
    }
    if (commitHook != nullptr) {
        commitHook(r->target, commitHookData);
    }
    // The name given still leads to the same final name (a link may have
    // been retargeted), and that name to the same file.
    char* final = platform::resolveLinks(r->given);
    if (final == nullptr) {
        return errno == ENOMEM ? ENOMEM : KVO_ECHANGED;
    }
    bool sameName = platform::samePath(final, r->target);
    kvoFree(final);
    return sameName ? platform::checkSameFile(r->target, r->source.facts) : KVO_ECHANGED;
}

int renameTemp(kvoReplacement* r) {
    bool editOfNothing = isEdit(r) && !r->source.facts.exists;
    bool noReplace = (r->flags & KVO_REPLACE_NEW) != 0 || editOfNothing;
    int err = platform::renameOver(r->temp, r->target, noReplace);
    return err == EEXIST && editOfNothing ? KVO_ECHANGED : err;
}

// Publishes a complete temporary; 0 or the reason, the temporary removed.
// The temporary stays locked until it is renamed, so that no other writer
// takes it for a killed writer's leftover.
int publish(kvoReplacement* r, int err) {
    if (err == 0) {
        platform::keepSetIdBits(r->stream, r->source.facts);
        err = platform::syncStream(r->stream);
    }
    int hold = platform::holdFile(r->stream);
    err = closeStream(r->stream, err);
    if (err == 0) {
        err = checkEdited(r);
    }
    if (err == 0) {
        err = renameTemp(r);
    }
    if (err != 0) {
        platform::removeFile(r->temp);
    } else {
        platform::syncDirOf(r->target);
    }
    platform::releaseHold(hold);
    return err;
}
} // namespace

extern "C" {

kvoReplacement* kvoReplaceBegin(const char* target, int flags, int* errnumOut) {
    int dummy = 0;
    int& err = errnumOut != nullptr ? *errnumOut : dummy;
    if (target == nullptr || target[0] == '\0') {
        err = EINVAL;
        return nullptr;
    }
    auto* r = static_cast<kvoReplacement*>(kvoMalloc(sizeof(kvoReplacement)));
    if (r == nullptr) {
        err = ENOMEM;
        return nullptr;
    }
    *r = kvoReplacement{nullptr, nullptr, nullptr, nullptr,
                        nullptr, flags,   nullptr, platform::Source{}};
    r->buffer = static_cast<char*>(kvoMalloc(streamBufferSize));
    err = r->buffer != nullptr ? start(r, target) : ENOMEM;
    if (err != 0) {
        if (r->temp != nullptr) {
            platform::removeFile(r->temp);
        }
        if (r->stream != nullptr) {
            std::fclose(r->stream);
        }
        release(r);
        return nullptr;
    }
    useLargeBuffer(r);
    return r;
}

FILE* kvoReplaceStream(const kvoReplacement* replacement) {
    return replacement != nullptr ? replacement->stream : nullptr;
}

FILE* kvoReplaceSource(const kvoReplacement* replacement) {
    return replacement != nullptr ? replacement->source.stream : nullptr;
}

const char* kvoReplaceTarget(const kvoReplacement* replacement) {
    return replacement != nullptr ? replacement->target : nullptr;
}

int kvoReplaceCommit(kvoReplacement* replacement) {
    if (replacement == nullptr) {
        return EINVAL;
    }
    int err = flushStream(replacement->stream);
    if (replacement->temp == nullptr) {
        err = closeStream(replacement->stream, err);
    } else {
        err = publish(replacement, err);
    }
    release(replacement);
    return err;
}

void kvoReplaceAbort(kvoReplacement* replacement) {
    if (replacement == nullptr) {
        return;
    }
    // Removed before it is closed: while open it is still locked as alive.
    if (replacement->temp != nullptr) {
        platform::removeFile(replacement->temp);
    }
    std::fclose(replacement->stream);
    release(replacement);
}

void kvoSetCommitHook(kvoCommitHook hook, void* userdata) {
    commitHook = hook;
    commitHookData = userdata;
}

void kvoRemoveTemporaries(void) {
    for (const kvoReplacement* r = pending; r != nullptr; r = r->nextPending) {
        platform::removeFile(r->temp);
    }
}
}
