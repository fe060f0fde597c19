#include "common/testutil.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "ckp/ckp.h"

namespace fs = std::filesystem;

namespace ckptest {

int temporaryCount(const std::string& dir) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        n += entry.path().filename().string().rfind(".ckp-", 0) == 0 ? 1 : 0;
    }
    return n;
}

TempDir::TempDir() {
    std::random_device random;
    std::error_code ec;
    do {
        path_ = (fs::temp_directory_path() / ("ckp-test-" + std::to_string(random()))).string();
    } while (!fs::create_directory(path_, ec));
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    std::string p = file(name);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream out(p, std::ios::binary);
    out << bytes;
    return p;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
#if defined(_WIN32)
    // The library writes text files: there the runtime turns each line end
    // into CR LF, which the expected texts of the tests do not spell out.
    std::string text = s.str();
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            lf += text[i];
        }
    }
    return lf;
#else
    return s.str();
#endif
}

std::string written(const std::function<void(ckpInfo*)>& body) {
    TempDir dir;
    std::string path = dir.file("out.ckp");
    ckpInfo* info = ckpOpen(path.c_str(), "W");
    EXPECT_NE(info, nullptr);
    body(info);
    EXPECT_EQ(ckpClose(info), 0);
    return readFile(path);
}

ReportCapture::ReportCapture() {
    kvoSetReportHandler(&ReportCapture::handler, this);
}
ReportCapture::~ReportCapture() {
    kvoSetReportHandler(nullptr, nullptr);
}

int ReportCapture::handler(const char* text, void* self) {
    static_cast<ReportCapture*>(self)->messages_.emplace_back(text != nullptr ? text : "(null)");
    return 1;
}

std::string ReportCapture::joined() const {
    std::string all;
    for (const auto& m : messages_) {
        all += m + "\n";
    }
    return all;
}

int resetErrors() {
    return ckpGetNumError();
}

std::string reportedLine(ckpInfo* info) {
    std::FILE* scratch = std::tmpfile();
    if (scratch == nullptr) {
        return "<no scratch file>";
    }
    ckpReport(info, scratch, 0, 0, "at", "");
    std::rewind(scratch);
    char text[256] = "";
    if (std::fgets(text, sizeof text, scratch) == nullptr) {
        text[0] = '\0';
    }
    std::fclose(scratch);
    std::string s = text;
    std::size_t at = s.find(" on line ");
    return at == std::string::npos ? s : s.substr(at + 9, s.find(' ', at + 9) - at - 9);
}

} // namespace ckptest

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
ckptest::FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    rlimit now{};
    if (getrlimit(RLIMIT_FSIZE, &now) != 0) {
        return;
    }
    saved_[0] = now.rlim_cur;
    saved_[1] = now.rlim_max;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = now;
    limit.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}
ckptest::FileSizeLimit::~FileSizeLimit() {
    if (active_) {
        rlimit limit{static_cast<rlim_t>(saved_[0]), static_cast<rlim_t>(saved_[1])};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}
#else
ckptest::FileSizeLimit::FileSizeLimit(unsigned long) {}
ckptest::FileSizeLimit::~FileSizeLimit() = default;
#endif
