#include "output.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

#include "ckp/kvo.h"
#include "commands.hpp"

namespace ckptool {
namespace {

// Set once a failure of standard output has been reported, so that closing
// it does not report it again.
bool stdoutReported = false;

[[noreturn]] void writeError(int errnum) {
    stdoutReported = true;
    if (errnum == EPIPE) {
        throw OutputClosed{};
    }
    throw ToolError(std::string("write error: ") +
                    (errnum != 0 ? std::strerror(errnum) : "unknown error"));
}

void writeStdout(std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        writeError(errno);
    }
}

void endBySignal(int signal) {
    kvoRemoveTemporaries();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

std::string lockMessage(const std::string& file, const char* lockPath, int errnum) {
    std::string message = "cannot lock " + file + ": ";
    if (lockPath == nullptr) {
        return message + kvoStrError(errnum);
    }
    if (errnum == KVO_ELOCKED) {
        return message + "another edit holds the lock file " + lockPath +
               " (waited CKP_LOCK_TIMEOUT seconds, default 10)";
    }
    return message + "lock file " + lockPath + ": " + kvoStrError(errnum);
}

FileLock::FileLock(const std::string& file) {
    int errnum = 0;
    char* lockPath = nullptr;
    lock_ = kvoLockFileNamed(file.c_str(), &errnum, &lockPath);
    std::string message = lock_ == nullptr ? lockMessage(file, lockPath, errnum) : "";
    kvoFree(lockPath);
    if (lock_ == nullptr) {
        throw ToolError(message);
    }
}

FileLock::~FileLock() {
    kvoUnlockFile(lock_);
}

bool isStdout(const std::string& target) {
    return target.empty() || target == "-";
}

Output::Output(const std::string& target, int flags) : target_(target) {
    if (isStdout(target)) {
        return;
    }
    int errnum = 0;
    replacement_ = kvoReplaceBegin(target.c_str(), flags, &errnum);
    if (replacement_ == nullptr) {
        fail(errnum);
    }
}

Output::~Output() {
    kvoReplaceAbort(replacement_);
}

void Output::fail(int errnum) {
    throw ToolError("cannot write " + target_ + ": " +
                    (errnum != 0 ? kvoStrError(errnum) : "unknown error"));
}

std::FILE* Output::source() const {
    return kvoReplaceSource(replacement_);
}

std::string Output::readSource() {
    std::FILE* in = source();
    std::string bytes;
    if (in == nullptr) {
        return bytes;
    }
    char block[64 * 1024];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0) {
        bytes.append(block, n);
    }
    if (std::ferror(in)) {
        int errnum = errno;
        throw ToolError("cannot read " + target_ + ": " +
                        (errnum != 0 ? kvoStrError(errnum) : "unknown error"));
    }
    return bytes;
}

void Output::discard() {
    kvoReplaceAbort(std::exchange(replacement_, nullptr));
}

void Output::publish(std::string_view bytes) {
    if (replacement_ == nullptr) {
        writeStdout(bytes);
        return;
    }
    std::FILE* stream = kvoReplaceStream(replacement_);
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
        fail(errno);
    }
    int errnum = kvoReplaceCommit(std::exchange(replacement_, nullptr));
    if (errnum != 0) {
        fail(errnum);
    }
}

void checkStdout() {
    if (std::ferror(stdout)) {
        writeError(errno);
    }
}

int closeStdout(int code) {
    errno = 0;
    bool failed = std::ferror(stdout) != 0;
    int errnum = errno;
    if (std::fflush(stdout) != 0 || std::fclose(stdout) != 0) {
        failed = true;
        errnum = errno;
    }
    if (!failed || stdoutReported) {
        return failed ? exitFailure : code;
    }
    if (errnum != EPIPE) {
        std::fprintf(stderr, "ckp: write error: %s\n",
                     errnum != 0 ? std::strerror(errnum) : "unknown error");
    }
    return exitFailure;
}

void removeTemporariesOnSignals() {
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    std::signal(SIGINT, endBySignal);
    std::signal(SIGTERM, endBySignal);
#if defined(SIGHUP)
    std::signal(SIGHUP, endBySignal);
#endif
}

} // namespace ckptool
