// Message reporting: to standard error unless an embedder installed a handler.
#include <cstdio>
#include <cstring>

#include "ckp/kvo.h"

namespace {
kvoReportHandler reportHandler = nullptr;
void* reportUserdata = nullptr;
} // namespace

extern "C" {

int kvoReportError(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    if (reportHandler != nullptr) {
        return reportHandler(text, reportUserdata);
    }
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return 1;
}

void kvoSetReportHandler(kvoReportHandler handler, void* userdata) {
    reportHandler = handler;
    reportUserdata = handler != nullptr ? userdata : nullptr;
}

void kvoGetReportHandler(kvoReportHandler* handler, void** userdata) {
    if (handler != nullptr) {
        *handler = reportHandler;
    }
    if (userdata != nullptr) {
        *userdata = reportUserdata;
    }
}

const char* kvoStrError(int code) {
    switch (code) {
    case KVO_ENOTREGULAR:
        return "not a regular file";
    case KVO_ECHANGED:
        return "the file was replaced while it was being edited";
    case KVO_ELOCKED:
        return "another edit holds the lock";
    case KVO_EBADLOCK:
        return "not a usable lock file (a link or a special file)";
    default:
        return std::strerror(code);
    }
}
}
