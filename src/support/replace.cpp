// Replacing a file safely: the one way in which ckp, kvo and the ckp command
// write a file by name. The new content is written to an exclusive
// temporary beside the final file and renamed over it only when it is
// complete and on the disk, so that the name always holds the old or the
// whole new content.
#include <cerrno>
#include <new>
#include <string>

#include "ckp/kvo.h"
#include "support/platform.hpp"

struct kvoReplacement {
    std::string target; // the final file, after links
    std::string temp;   // empty: the target is written in place
    std::FILE* stream = nullptr;
    int flags = 0;
};

namespace {
// Temporaries in progress, for kvoRemoveTemporaries. A signal handler reads
// this table, so it holds plain pointers that are set and cleared whole.
constexpr int maxPending = 64;
const char* volatile pending[maxPending];

void remember(const kvoReplacement* r) {
    for (auto& slot : pending) {
        if (slot == nullptr) {
            slot = r->temp.c_str();
            return;
        }
    }
}

void forget(const kvoReplacement* r) {
    for (auto& slot : pending) {
        if (slot == r->temp.c_str()) {
            slot = nullptr;
        }
    }
}

// Creates the temporary under a fresh name; a name someone holds (a stale
// file, a planted link) is passed over, never opened.
int createTemp(kvoReplacement* r) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        r->temp = platform::beside(r->target, ".ckp-" + platform::uniqueTag());
        r->stream = platform::createExclusive(r->temp);
        if (r->stream != nullptr) {
            return 0;
        }
        if (errno != EEXIST) {
            int e = errno;
            r->temp.clear();
            return e;
        }
    }
    r->temp.clear();
    return EEXIST;
}

int start(kvoReplacement* r, const char* target) {
    r->target = platform::resolveLinks(target);
    if (r->target.empty()) {
        return errno != 0 ? errno : EINVAL;
    }
    platform::FileFacts facts = platform::fileFacts(r->target);
    if (facts.error != 0) {
        return facts.error;
    }
    // Special files are written where they are: renaming a new file over a
    // device or a pipe would replace the node itself.
    if (platform::writtenInPlace(target, r->target)) {
        r->stream = platform::openInPlace(r->target);
        return r->stream != nullptr ? 0 : errno;
    }
    int e = createTemp(r);
    if (e != 0) {
        return e;
    }
    platform::carryOver(r->stream, facts);
    remember(r);
    return 0;
}

// Writes out what the stream holds; 0 or the reason it failed.
// A write that failed earlier leaves the content incomplete even when
// nothing is left to flush.
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

void finish(kvoReplacement* r) {
    forget(r);
    delete r;
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
    auto* r = new (std::nothrow) kvoReplacement;
    if (r == nullptr) {
        err = ENOMEM;
        return nullptr;
    }
    r->flags = flags;
    err = start(r, target);
    if (err != 0) {
        delete r;
        return nullptr;
    }
    return r;
}

FILE* kvoReplaceStream(const kvoReplacement* replacement) {
    return replacement != nullptr ? replacement->stream : nullptr;
}

const char* kvoReplaceTarget(const kvoReplacement* replacement) {
    return replacement != nullptr ? replacement->target.c_str() : nullptr;
}

int kvoReplaceCommit(kvoReplacement* replacement) {
    if (replacement == nullptr) {
        return EINVAL;
    }
    kvoReplacement* r = replacement;
    int err = flushStream(r->stream);
    if (r->temp.empty()) {
        err = closeStream(r->stream, err);
        finish(r);
        return err;
    }
    if (err == 0) {
        err = platform::syncStream(r->stream);
    }
    err = closeStream(r->stream, err);
    if (err == 0) {
        err = platform::renameOver(r->temp, r->target, (r->flags & KVO_REPLACE_NEW) != 0);
    }
    if (err != 0) {
        platform::removeFile(r->temp.c_str());
    } else {
        platform::syncDir(platform::dirOf(r->target));
    }
    finish(r);
    return err;
}

void kvoReplaceAbort(kvoReplacement* replacement) {
    if (replacement == nullptr) {
        return;
    }
    std::fclose(replacement->stream);
    if (!replacement->temp.empty()) {
        platform::removeFile(replacement->temp.c_str());
    }
    finish(replacement);
}

void kvoRemoveTemporaries(void) {
    for (auto& slot : pending) {
        const char* temp = slot;
        if (temp != nullptr) {
            platform::removeFile(temp);
        }
    }
}
}
