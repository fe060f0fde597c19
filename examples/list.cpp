// Lists the records of a checkpoint file with the C++ interface: every
// object with its properties, includes followed, and every syntax error at
// its place; then adds a note to a copy of the team's setup.
// Usage: ckp_example_list FILE.ckpt [TEAM.setup COPY.setup]
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include <ckp/ckp.hpp>

namespace {

void listRecords(const std::string& path) {
    ckp::Reader reader(path);
    for (const ckp::Record& r : reader) {
        if (r.type() == ckp::Type::Syntax) {
            ckp::SyntaxError e = r.syntax_error();
            std::printf("%s:%lld:%d: %s\n", e.file.c_str(), e.line, e.column, e.message.c_str());
            continue;
        }
        if (r.type() != ckp::Type::Object) {
            continue;
        }
        std::printf("%.*s\n", static_cast<int>(r.path().size()), r.path().data());
        for (const ckp::Property& p : r.props()) {
            std::string name(p.name);
            if (p.has_value) {
                std::printf("  %s = %.*s\n", name.c_str(), static_cast<int>(p.value.size()),
                            p.value.data());
            } else {
                std::printf("  %s (flag)\n", name.c_str());
            }
        }
    }
}

// Loads a setup, changes it and saves it elsewhere; the original stays.
void noteInSetup(const std::string& setupPath, const std::string& copyPath) {
    ckp::Setup team = ckp::Setup::load(setupPath);
    team.set("carol", "role", "review"); // a new entry is made on the way
    team.set("carol", "remote", nullptr);
    team.save(copyPath);
    for (const std::string& entry : team.entries()) {
        std::optional<ckp::Setup::Value> role = team.get(entry, "role");
        std::printf("%s: %s%s\n", entry.c_str(), role && *role ? (*role)->c_str() : "-",
                    team.get(entry, "remote") ? " (remote)" : "");
    }
    team.clear();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s FILE.ckpt [TEAM.setup COPY.setup]\n", argv[0]);
        return 2;
    }
    try {
        listRecords(argv[1]);
        if (argc == 4) {
            noteInSetup(argv[2], argv[3]);
        }
    } catch (const ckp::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("library %s\n", CKP_VERSION);
    return 0;
}
