// The library-wide error state: the last message, a count, and the guards.
#include "core/error.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "ckp/kvo.h"

namespace {
// The last error text is kept apart from the buffer that ckpGetError hands
// out, so that a caller may quote ckpGetError() in a new message. Each
// thread has its own: the reader passes a failure's text on to the syntax
// record it makes, and handles read in other threads must not mix theirs in.
thread_local char lastError[ckpMsgSize];
thread_local char errorResult[ckpMsgSize];
thread_local char sysErrorBuf[ckpMsgSize];
thread_local int errorCount = 0;

void copyCut(char* dst, const char* src) {
    std::size_t n = std::strlen(src);
    if (n >= ckpMsgSize) {
        n = ckpMsgSize - 1;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}
} // namespace

void tiSetError(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        lastError[0] = '\0';
        return;
    }
    copyCut(lastError, text);
    ++errorCount;
}

void tiSetErrorf(const char* format, ...) {
    char buf[ckpMsgSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n < 0) {
        buf[0] = '\0';
    }
    tiSetError(buf);
}

void tiSetSysError(int errnum) {
    if (errnum > 0) {
        copyCut(sysErrorBuf, kvoStrError(errnum)); // kvo's own codes too
    } else {
        std::snprintf(sysErrorBuf, sizeof sysErrorBuf, "not a system error[%d]", errnum);
    }
    tiSetError(sysErrorBuf);
}

void tiSetSysErrorOf(const char* name, int errnum) {
    tiSetSysError(errnum);
    tiSetErrorf("%s: %s", name, tiErrorText());
}

const char* tiErrorText() {
    return lastError[0] != '\0' ? lastError : "unknown error";
}

int tiPrintMsg(std::FILE* stream, const char* text) {
    if (text == nullptr) {
        text = "";
    }
    if (stream == nullptr) {
        return kvoReportError(text);
    }
    return std::fprintf(stream, "%s\n", text);
}

namespace {
enum class Missing { Info, File, Line };

int guardFailed(int report, Missing what, const char* who) {
    const char* name = who != nullptr ? who : "";
    switch (what) {
    case Missing::Info:
        tiSetErrorf("no ckpInfo in %s", name);
        break;
    case Missing::File:
        tiSetErrorf("no ckpFile in %s", name);
        break;
    case Missing::Line:
        tiSetErrorf("no ckpLine in %s", name);
        break;
    }
    if (report) {
        tiPrintMsg(nullptr, tiErrorText());
    }
    return 0;
}
} // namespace

int tiCheckFile(ckpInfo* info, int report, const char* who, ckpFile** fileOut) {
    if (info == nullptr) {
        return guardFailed(report, Missing::Info, who);
    }
    if (fileOut != nullptr) {
        *fileOut = info->files.top;
    }
    if (info->files.top == nullptr) {
        return guardFailed(report, Missing::File, who);
    }
    return 1;
}

int tiCheckLine(ckpInfo* info, int report, const char* who, ckpFile** fileOut, ckpLine** lineOut) {
    ckpFile* file = nullptr;
    if (!tiCheckFile(info, report, who, &file)) {
        if (fileOut != nullptr && info != nullptr) {
            *fileOut = file;
        }
        return 0;
    }
    if (fileOut != nullptr) {
        *fileOut = file;
    }
    if (lineOut != nullptr) {
        *lineOut = file->firstLine;
    }
    if (file->firstLine == nullptr) {
        return guardFailed(report, Missing::Line, who);
    }
    return 1;
}

extern "C" {

const char* ckpGetError(void) {
    copyCut(errorResult, tiErrorText());
    return errorResult;
}

int ckpGetNumError(void) {
    int n = errorCount;
    errorCount = 0;
    return n;
}
}
