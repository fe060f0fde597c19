// A C++17 caller of the installed library: writes a checkpoint file with
// ckp::Writer, reads it back with ckp::Reader and compares every record with
// what was written, then keeps a setup with a flag and an empty value and
// edits a setup file, its comments kept.
// Usage: consumer-cxx FILE. Exits 0 when everything came back as written.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <ckp/ckp.hpp>

namespace {

struct Object {
    std::string path;
    std::vector<std::pair<std::string, std::optional<std::string>>> props;
};

const std::vector<Object> objects = {
    {"lib/cell_a", {{"owner", "alice"}, {"note", "a ; b \"quoted\" \\ end"}, {"frozen", {}}}},
    {"lib/cell b", {{"owner", "bob"}, {"empty", ""}}},
};

bool fail(const std::string& what) {
    std::fprintf(stderr, "consumer-cxx: %s\n", what.c_str());
    return false;
}

void writeAll(const std::string& path) {
    ckp::Writer out(path);
    out.write_header();
    for (const Object& o : objects) {
        ckp::Writer::RecordBuilder record = out.object(o.path);
        for (const auto& [name, value] : o.props) {
            record.prop(name.c_str(), value ? value->c_str() : nullptr);
        }
    }
    out.close();
}

bool readBack(const std::string& path) {
    std::vector<Object> seen;
    ckp::Reader reader(path);
    for (const ckp::Record& r : reader) {
        if (r.type() == ckp::Type::Header && !r.path().empty()) {
            return fail("the header names a path");
        }
        if (r.type() != ckp::Type::Object) {
            continue;
        }
        Object o{std::string(r.path()), {}};
        for (const ckp::Property& p : r.props()) {
            o.props.emplace_back(std::string(p.name),
                                 p.has_value ? std::optional<std::string>(p.value) : std::nullopt);
        }
        seen.push_back(o);
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (i >= seen.size() || seen[i].path != objects[i].path ||
            seen[i].props != objects[i].props) {
            return fail(
                std::string("record ").append(std::to_string(i)).append(" came back changed"));
        }
    }
    return seen.size() == objects.size() || fail("more records than written");
}

bool setupKeepsFlags(const std::string& path) {
    ckp::Setup team = ckp::Setup::create(path + ".setup");
    team.set("bob", "remote", nullptr);
    team.set("bob", "site", "");
    bool ok = team.get("bob", "remote") && !team.get("bob", "remote")->has_value() &&
              team.get("bob", "site") == ckp::Setup::Value("") && !team.get("bob", "role");
    team.clear();
    return ok || fail("a setup mixed up a flag, an empty value and a missing property");
}

// An edit through libckp_cxx keeps what it does not change, comments too.
bool setupEditKeepsComments(const std::string& path) {
    std::string file = path + ".edit.setup";
    const std::string kept = "bob  site=\"south\" ; far\n";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr || std::fputs(("WRXCHECKPOINT=\"1.0\"\n" + kept).c_str(), out) < 0 ||
        std::fclose(out) != 0) {
        return fail("cannot write " + file);
    }
    ckp::Setup::edit(file, [](ckp::Setup& team) { team.set("alice", "role", "lead"); });
    std::string text;
    std::FILE* in = std::fopen(file.c_str(), "rb");
    for (int c; in != nullptr && (c = std::fgetc(in)) != EOF;) {
        text += static_cast<char>(c);
    }
    if (in != nullptr) {
        std::fclose(in);
    }
    return text == "WRXCHECKPOINT=\"1.0\"\nalice role=\"lead\"\n" + kept ||
           fail("the setup edit changed what it did not touch");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        writeAll(argv[1]);
        bool ok = readBack(argv[1]) && setupKeepsFlags(argv[1]) && setupEditKeepsComments(argv[1]);
        if (ok) {
            std::printf("consumer-cxx: %zu records read back unchanged (ckp %s, C++%ld)\n",
                        objects.size(), CKP_VERSION, __cplusplus / 100 % 100);
        }
        return ok ? 0 : 1;
    } catch (const ckp::Error& e) {
        fail(e.operation() + ": " + e.what());
        return 1;
    }
}
