// The forms in which `ckp check` reports syntax errors: gcc's (for people
// and editors), JSON lines, GitHub workflow annotations, and one SARIF 2.1.0
// document (for code-scanning tools). Each error is shown once, also when
// its file was both named and included.
#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "ckp/ckp.hpp"
#include "diagnostics.hpp"

namespace ckptool {

enum class ReportFormat { Gcc, Json, Github, Sarif };

// Errors are the file's faults; warnings and notes are the command's advice
// (a line the reader cuts, a file read in the old syntax) and change no
// exit status.
enum class Severity { Error, Warning, Note };

// The format named on the command line (gcc, json, github, sarif).
ReportFormat reportFormatNamed(const std::string& name);

class DiagnosticReport {
  public:
    // Quiet: the errors are counted, not shown.
    DiagnosticReport(std::FILE* out, ReportFormat format, const DiagnosticStyle& style,
                     bool quiet = false);

    // Shows the diagnostic unless the same one was shown already; true when
    // new. Only errors are counted.
    // Without context, the gcc form leaves out the line and the caret.
    bool add(const ckp::SyntaxError& error, Severity severity = Severity::Error,
             bool context = true);
    // Closes the diagnostics of the files read since the last call: each
    // file whose errors went past diagnosticsPerFile (gcc form) gets a line
    // "FILE: … and N more errors".
    void closeFiles();
    // Ends the report (SARIF prints its document here).
    void finish();

    // Whether the report prints something for a person (gcc form, not quiet).
    bool forPeople() const { return format_ == ReportFormat::Gcc && !quiet_; }

    long errors() const { return errors_; }
    long filesWithErrors() const { return static_cast<long>(filesWithErrors_.size()); }

  private:
    using Key = std::tuple<std::string, long long, int, std::string>;

    void printAdvice(const ckp::SyntaxError& error, Severity severity);

    std::FILE* out_;
    ReportFormat format_;
    DiagnosticStyle style_;
    bool quiet_;
    std::set<Key> shown_;
    std::set<std::string> filesWithErrors_;
    std::map<std::string, long> shownPerFile_;    // errors shown in the gcc form
    std::map<std::string, long> withheldPerFile_; // errors past the cap, not yet closed
    long errors_ = 0;
    nlohmann::json sarifResults_ = nlohmann::json::array();
};

// A GitHub workflow command for one error:
// "::error file=F,line=L,col=C::MESSAGE", escaped as the runner reads it.
std::string githubAnnotation(const ckp::SyntaxError& error, Severity severity = Severity::Error);

// A SARIF artifact URI for a file name: '/' separators, other bytes that
// are not unreserved percent-encoded.
std::string sarifUri(const std::string& file);

} // namespace ckptool
