// Message reporting: to standard error unless an embedder installed a handler.
#include <cstdio>

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
}
