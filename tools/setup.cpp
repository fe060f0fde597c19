// ckp setup: a setup loaded (by path or through its search group), looked
// at or changed, and saved back where it came from.
#include <cstdio>

#include "ckp/ckp.hpp"
#include "commands.hpp"

namespace ckptool {
namespace {

void needArgs(const SetupOptions& o, std::size_t least, std::size_t most, const char* usage) {
    if (o.args.size() < least || o.args.size() > most) {
        throw ToolError(std::string("usage: ckp setup ") + o.action + " NAME " + usage);
    }
}

void requireEntry(const ckp::Setup& setup, const std::string& entry) {
    if (!setup.has_entry(entry)) {
        throw ToolError("no entry " + entry + " in " + setup.name(), exitFindings);
    }
}

void printEntry(const ckp::Setup& setup, const std::string& entry) {
    std::printf("%s\n", entry.c_str());
    for (const auto& [name, value] : setup.props(entry)) {
        if (value) {
            std::printf("  %s=\"%s\"\n", name.c_str(), value->c_str());
        } else {
            std::printf("  %s\n", name.c_str());
        }
    }
}

int list(const ckp::Setup& setup) {
    for (const std::string& entry : setup.entries()) {
        std::printf("%s\n", entry.c_str());
    }
    return exitOk;
}

int show(const ckp::Setup& setup, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries.empty() ? setup.entries() : entries) {
        requireEntry(setup, entry);
        printEntry(setup, entry);
    }
    return exitOk;
}

int get(const ckp::Setup& setup, const std::string& entry, const std::string& name) {
    requireEntry(setup, entry);
    std::optional<ckp::Setup::Value> value = setup.get(entry, name);
    if (!value) {
        throw ToolError("entry " + entry + " has no property " + name, exitFindings);
    }
    std::printf("%s\n", value->value_or("").c_str());
    return exitOk;
}

int set(ckp::Setup& setup, const std::vector<std::string>& args) {
    if (!setup.has_entry(args[0])) {
        setup.create_entry(args[0]);
    }
    setup.set(args[0], args[1], args.size() > 2 ? args[2].c_str() : nullptr);
    setup.save();
    return exitOk;
}

int del(ckp::Setup& setup, const std::vector<std::string>& args) {
    requireEntry(setup, args[0]);
    if (args.size() > 1) {
        if (!setup.get(args[0], args[1])) {
            throw ToolError("entry " + args[0] + " has no property " + args[1], exitFindings);
        }
        setup.erase(args[0], args[1]);
    } else {
        setup.erase_entry(args[0]);
    }
    setup.save();
    return exitOk;
}

int dispatch(const SetupOptions& o, ckp::Setup& setup) {
    if (o.action == "list") {
        needArgs(o, 0, 0, "");
        return list(setup);
    }
    if (o.action == "show") {
        return show(setup, o.args);
    }
    if (o.action == "get") {
        needArgs(o, 2, 2, "ENTRY PROPERTY");
        return get(setup, o.args[0], o.args[1]);
    }
    if (o.action == "set") {
        needArgs(o, 2, 3, "ENTRY PROPERTY [VALUE]");
        return set(setup, o.args);
    }
    needArgs(o, 1, 2, "ENTRY [PROPERTY]");
    return del(setup, o.args);
}

} // namespace

int runSetup(const SetupOptions& o) {
    try {
        if (o.action == "create") {
            needArgs(o, 0, 0, "");
            ckp::Setup setup = ckp::Setup::create(o.name);
            setup.save();
            setup.clear();
            return exitOk;
        }
        ckp::Setup setup = ckp::Setup::load(o.name, o.group.empty() ? nullptr : o.group.c_str());
        int status;
        try {
            status = dispatch(o, setup);
        } catch (...) {
            ckpSetupClear(o.name.c_str());
            throw;
        }
        setup.clear();
        return status;
    } catch (const ckp::Error& e) {
        throw ToolError(e.what());
    }
}

} // namespace ckptool
