// The subcommands of the ckp command. Each returns the process's exit code;
// a failure that ends a command is thrown as ToolError and printed by main
// as one "ckp: " line.
#pragma once

#include <string>
#include <vector>

#include "format_error.hpp"

namespace ckptool {

// The library's message without the name of the function that set it
// ("unknown syntax version in tiStart").
inline std::string plainMessage(std::string message) {
    std::size_t at = message.rfind(" in ");
    if (at != std::string::npos &&
        (message.compare(at + 4, 2, "ti") == 0 || message.compare(at + 4, 3, "ckp") == 0) &&
        message.find(' ', at + 4) == std::string::npos) {
        message.erase(at);
    }
    return message;
}

// A library message about a file, with the file's name in front unless the
// message already begins with it.
inline std::string aboutFile(const std::string& file, const std::string& text) {
    std::string message = plainMessage(text);
    return message.compare(0, file.size() + 1, file + ":") == 0 ? message : file + ": " + message;
}

struct CheckOptions {
    std::vector<std::string> files;    // "-": standard input; directories are walked
    std::vector<std::string> excludes; // globs of paths or names left out
    bool quiet = false;
    std::string format = "gcc";  // gcc, json, github or sarif
    bool noContext = false;      // no echoed line and caret
    std::string colour = "auto"; // auto, always or never
    bool summary = false;        // the closing count also when not on a terminal
    unsigned jobs = 0;           // files read at once; 0: one per available core
};

struct FmtOptions {
    std::vector<std::string> files; // "-": standard input
    std::string output;             // empty: standard output
    bool check = false;
    bool diff = false; // show how the files would change
    bool inPlace = false;
};

struct JsonOptions {
    std::vector<std::string> files; // "-": standard input
    bool array = false;
};

struct SetupOptions {
    std::string action; // list, show, get, set, del, create
    std::string name;
    std::vector<std::string> args;
    std::string group;  // empty: the default search group
    std::string output; // create: where the new setup goes
    bool json = false;  // list, show, get: JSON (a flag is null)
};

struct FromJsonOptions {
    std::string input = "-"; // the output of ckp json; "-": standard input
    std::string output;      // empty: standard output
};

int runCheck(const CheckOptions& options);
int runFromJson(const FromJsonOptions& options);
int runFmt(const FmtOptions& options);
int runJson(const JsonOptions& options);
int runSetup(const SetupOptions& options);

} // namespace ckptool
