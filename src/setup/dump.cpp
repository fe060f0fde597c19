// The setup dump for a person: a save to "-" prints it on standard error.
#include "setup/dump.hpp"

#include "setup/entry.hpp"

namespace {
// A property without value is shown with this placeholder.
const char* const flagPlaceholder = "(no value)";
} // namespace

void ckpSetupDumpTo(std::FILE* out, const ckpSetup* setup) {
    std::fprintf(out, "setup information for: %s\n\n", setup->name != nullptr ? setup->name : "");
    std::fprintf(out, "load path is: %s\n", setup->loadPath != nullptr ? setup->loadPath : "");
    std::fprintf(out, setup->modified ? "setup has been modified\n\n"
                                      : "setup has NOT been modified\n\n");
    std::fprintf(out, "Setup Entries: \n");
    const auto* entries = static_cast<const ckpSetupEntry*>(setup->entries->first);
    for (int i = 0; i < setup->entries->count; ++i) {
        std::fprintf(out, "Name: %s\n", entries[i].name);
        std::fprintf(out, "Prop List:\n");
        ckpSetupEachProp(&entries[i], [&](const char* name, const char* value) {
            std::fprintf(out, "    name: %s value: %s\n", name,
                         value != nullptr ? value : flagPlaceholder);
        });
    }
    std::fprintf(out, "\n");
}

void ckpSetupDump(const ckpSetup* setup) {
    ckpSetupDumpTo(stderr, setup);
}
