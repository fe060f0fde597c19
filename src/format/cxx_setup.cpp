// The setup edit for ckp.hpp's Setup and the Python package: snapshots of
// the setup store and saves of what changed since one was taken.
#include <cstdlib>
#include <cstring>
#include <new>

#include "ckp/ckp.hpp"
#include "ckp/ckpcxx.h"
#include "setup_save.hpp"

namespace {

ckptool::SetupEntries entriesOf(const ckpcxxEntry* loaded, std::size_t count) {
    ckptool::SetupEntries entries;
    for (std::size_t i = 0; i < count; ++i) {
        const ckpcxxEntry& e = loaded[i];
        ckptool::SetupProps props;
        for (std::size_t p = 0; p < e.count; ++p) {
            props.emplace_back(e.names[p], e.values[p] != nullptr
                                               ? std::optional<std::string>(e.values[p])
                                               : std::nullopt);
        }
        entries.push_back({e.name, std::move(props)});
    }
    return entries;
}

void giveMessage(char** messageOut, const char* text) {
    if (messageOut != nullptr) {
        std::size_t size = std::strlen(text) + 1;
        *messageOut = static_cast<char*>(std::malloc(size));
        if (*messageOut != nullptr) {
            std::memcpy(*messageOut, text, size);
        }
    }
}

} // namespace

extern "C" int ckpcxxSaveChanges(const char* setup, const char* file, const ckpcxxEntry* loaded,
                                 size_t count, char** messageOut) {
    if (messageOut != nullptr) {
        *messageOut = nullptr;
    }
    if (setup == nullptr || file == nullptr || file[0] == '\0' ||
        (loaded == nullptr && count > 0)) {
        giveMessage(messageOut, "no setup or file to save");
        return 0;
    }
    try {
        ckptool::saveSetupChanges(
            file, ckptool::changesBetween(entriesOf(loaded, count), ckptool::storeEntries(setup)));
        return 1;
    } catch (const std::bad_alloc&) {
        giveMessage(messageOut, "out of memory");
    } catch (const std::exception& e) {
        giveMessage(messageOut, e.what());
    } catch (...) {
        giveMessage(messageOut, "unknown failure");
    }
    return 0;
}
