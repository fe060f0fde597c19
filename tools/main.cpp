// The ckp command: check, format, print as JSON and edit checkpoint files
// and setups.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "commands.hpp"
#include "escape.hpp"
#include "output.hpp"

namespace {

// One "ckp: " line for each line of the message, its control characters
// (from a file's name or content) escaped.
void printError(const std::string& message) {
    std::fflush(stdout);
    std::string text;
    std::size_t at = 0;
    for (;;) {
        std::size_t end = std::min(message.find('\n', at), message.size());
        text += "ckp: " + ckptool::escapeControls(std::string_view(message).substr(at, end - at));
        if (end == message.size()) {
            break;
        }
        text += '\n';
        at = end + 1;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

struct Commands {
    ckptool::CheckOptions check;
    ckptool::FmtOptions fmt;
    ckptool::JsonOptions json;
    ckptool::SetupOptions setup;
    ckptool::FromJsonOptions fromJson;
};

void addCheck(CLI::App& app, Commands& c) {
    CLI::App* cmd = app.add_subcommand("check", "Report every syntax error, includes followed");
    cmd->add_option("files", c.check.files,
                    "checkpoint files, or directories to search for *.ckpt, *.Ckpt and *.setup "
                    "(-: standard input)")
        ->required();
    cmd->add_option("--exclude", c.check.excludes,
                    "leave out paths, or files and directories named, matching this glob")
        ->allow_extra_args(false);
    cmd->add_flag("-q,--quiet", c.check.quiet, "print only the number of syntax errors");
    cmd->add_option("--format", c.check.format,
                    "gcc (FILE:LINE:COL: error: ...), json (one object a line), github "
                    "(workflow annotations) or sarif (SARIF 2.1.0)")
        ->check(CLI::IsMember({"gcc", "json", "github", "sarif"}));
    cmd->add_flag("--no-context", c.check.noContext, "leave out the echoed line and the caret");
    cmd->add_option("--color", c.check.colour,
                    "colours: auto (on a terminal, unless NO_COLOR is set), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    cmd->add_flag("--summary", c.check.summary,
                  "end with the count of errors and files also when not on a terminal");
    cmd->add_option("-j,--jobs", c.check.jobs,
                    "read N files at once (default: one per available core); the report is "
                    "the same for every N")
        ->type_name("N")
        ->check(CLI::Range(1U, 1024U));
}

void addFmt(CLI::App& app, Commands& c) {
    CLI::App* cmd = app.add_subcommand("fmt", "Rewrite a file in the writer's canonical form");
    cmd->add_option("files", c.fmt.files, "checkpoint files (-: standard input)")->required();
    cmd->add_option("-o,--output", c.fmt.output, "write here instead of standard output");
    cmd->add_flag("--check", c.fmt.check, "name each file not in canonical form; exit 1 if any");
    cmd->add_flag("--diff", c.fmt.diff, "show how each file would change; exit 1 if any would");
    cmd->add_flag("-i,--in-place", c.fmt.inPlace, "replace the file (atomically)");
}

void addJson(CLI::App& app, Commands& c) {
    CLI::App* cmd = app.add_subcommand("json", "Print every record as a JSON object");
    cmd->add_option("files", c.json.files, "checkpoint files (-: standard input)")->required();
    cmd->add_flag("--array", c.json.array, "one JSON array instead of one object per line");
}

void addFromJson(CLI::App& app, Commands& c) {
    CLI::App* cmd = app.add_subcommand(
        "from-json", "Write back the checkpoint file whose records ckp json printed");
    cmd->add_option("file", c.fromJson.input,
                    "the output of ckp json, lines or --array (-: standard input, the default)");
    cmd->add_option("-o,--output", c.fromJson.output, "write here instead of standard output");
}

const char* const setupActions =
    "Actions:\n"
    "  list NAME                        the entries\n"
    "  show NAME [ENTRY...]             entries with their properties\n"
    "  get NAME ENTRY PROPERTY          the value of one property\n"
    "  set NAME ENTRY PROPERTY [VALUE]  set a property (no VALUE: a flag), making the entry\n"
    "  set NAME ENTRY K=V... [FLAG...]  set several properties in one edit\n"
    "  del NAME ENTRY [PROPERTY]        remove a property, or the whole entry\n"
    "  create NAME                      a new setup file holding only a header\n"
    "NAME is a setup file (-: standard input, for list, show and get), or a name\n"
    "looked up in the directories listed in $KVO_SEARCH_<GROUP> (GROUP from -g,\n"
    "in upper case; default KVOSETUP).\n"
    "set, del and create hold the lock file .ckp.lock beside the setup while they work.";

const char* const exitCodes = "Exit codes: 0 done; 1 syntax errors, not in canonical form, or "
                              "no such entry or property;\n"
                              "2 failure: unreadable input, failed output, bad usage.";

void addSetup(CLI::App& app, Commands& c) {
    CLI::App* cmd = app.add_subcommand(
        "setup", "Look at or change a setup: list|show|get|set|del|create NAME ...");
    cmd->footer(std::string(setupActions) + "\n" + exitCodes);
    cmd->add_option("action", c.setup.action, "list, show, get, set, del or create")
        ->required()
        ->check(CLI::IsMember({"list", "show", "get", "set", "del", "create"}));
    cmd->add_option("name", c.setup.name, "setup file, or a name found through the group")
        ->required();
    cmd->add_option("args", c.setup.args, "ENTRY [PROPERTY [VALUE] | NAME=VALUE|FLAG...]");
    cmd->add_option("-g,--group", c.setup.group, "search group (default kvosetup)");
    cmd->add_flag("--json", c.setup.json,
                  "list, show, get: print JSON (an array of names; an object of entries, each an "
                  "object of properties; a value), a flag as null");
}

// CLI11 says "A subcommand is required" also for a word that is none, or
// for an option before any subcommand: name what was given instead.
std::string parseErrorText(const CLI::App& app, int argc, char** argv, const CLI::ParseError& e) {
    if (argc < 2 || !app.get_subcommands().empty()) {
        return e.what();
    }
    std::string first = argv[1];
    if (first.rfind("-", 0) == 0) {
        return "unknown option: " + first + " (see ckp --help)";
    }
    return "unknown subcommand: " + first + " (check, fmt, json, from-json or setup)";
}

int run(int argc, char** argv) {
    CLI::App app("Checkpoint files: check, format, convert, edit setups", "ckp");
    app.set_version_flag("--version", std::string("ckp ") + CKP_TOOL_VERSION);
    app.require_subcommand(1);
    app.footer(exitCodes);
    Commands c;
    addCheck(app, c);
    addFmt(app, c);
    addJson(app, c);
    addSetup(app, c);
    addFromJson(app, c);
    for (CLI::App* cmd : app.get_subcommands({})) {
        if (cmd->get_footer().empty()) {
            cmd->footer(exitCodes);
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // Printed through stdio, so that a failed write keeps its reason
        // for the check of standard output at the end.
        std::fputs(app.help().c_str(), stdout);
        return ckptool::exitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
        return ckptool::exitOk;
    } catch (const CLI::CallForVersion&) {
        std::printf("ckp %s\n", CKP_TOOL_VERSION);
        return ckptool::exitOk;
    } catch (const CLI::ParseError& e) {
        printError(parseErrorText(app, argc, argv, e));
        return ckptool::exitFailure;
    }
    if (app.got_subcommand("check")) {
        return ckptool::runCheck(c.check);
    }
    if (app.got_subcommand("fmt")) {
        return ckptool::runFmt(c.fmt);
    }
    if (app.got_subcommand("json")) {
        return ckptool::runJson(c.json);
    }
    if (app.got_subcommand("from-json")) {
        return ckptool::runFromJson(c.fromJson);
    }
    return ckptool::runSetup(c.setup);
}

int runChecked(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const ckptool::OutputClosed&) {
        return ckptool::exitFailure;
    } catch (const ckptool::ToolError& e) {
        printError(e.what());
        return e.exitCode;
    } catch (const std::exception& e) {
        printError(e.what());
        return ckptool::exitFailure;
    }
}

} // namespace

int main(int argc, char** argv) {
    ckptool::removeTemporariesOnSignals();
    return ckptool::closeStdout(runChecked(argc, argv));
}
