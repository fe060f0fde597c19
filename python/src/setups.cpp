// Setups from Python: thin calls into the setup store, each with the
// store's messages captured, and the directory lock of an edit.
#include <cstdlib>
#include <cstring>

#include "ckp/ckp.hpp"
#include "common.hpp"
#include "format_error.hpp"
#include "setup_save.hpp"

namespace ckppy {
namespace {

// The store fails some calls without a message (a setup not found); the
// failure then names the setup.
void check(int ok, const char* operation, const Capture& capture, const std::string& setup) {
    if (ok == 0) {
        std::string message = capture.joined();
        fail(operation,
             message.empty() ? std::string(operation) + " failed for \"" + setup + "\"" : message);
    }
    warnAbout(capture);
}

// Where a load by this name reads from, so that a save without a path can
// lock the same file: the name itself when it is a file, else what the
// search group finds.
py::object loadPath(const std::string& name, const std::string& group) {
    if (kvoFileExists(name.c_str()) != 0) {
        return text(name.c_str());
    }
    char found[KVO_PATH_BUFFER];
    if (wyrSearchGroup(0, name.c_str(), group.c_str(), found, sizeof found) != 0) {
        return py::none();
    }
    return text(found);
}

py::object load(py::handle nameArg, py::handle groupArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string group = bytesOf(groupArg, "group");
    Capture capture;
    check(ckpSetupLoadGroup(name.c_str(), group.c_str()), "ckpSetupLoadGroup", capture, name);
    return loadPath(name, group);
}

void create(py::handle nameArg) {
    std::string name = bytesOf(nameArg, "name");
    Capture capture;
    check(ckpSetupCreate(name.c_str()), "ckpSetupCreate", capture, name);
}

void clear(py::handle nameArg) {
    std::string name = bytesOf(nameArg, "name");
    Capture capture;
    check(ckpSetupClear(name.c_str()), "ckpSetupClear", capture, name);
}

void save(py::handle nameArg, py::handle pathArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string path = pathArg.is_none() ? std::string() : bytesOf(pathArg, "path");
    Capture capture;
    check(ckpSetupSave(name.c_str(), pathArg.is_none() ? nullptr : path.c_str()), "ckpSetupSave",
          capture, name);
}

// What a setup held when it was loaded (or last saved): a save applies only
// what changed since then to the file as it is now.
class Snapshot {
  public:
    explicit Snapshot(py::handle name) : name_(bytesOf(name, "name")) { take(); }

    // Saves the changes into `file` under its lock, then counts what was
    // saved as loaded.
    void save(py::handle fileArg) {
        std::string file = bytesOf(fileArg, "path");
        ckptool::SetupEntries now = entries();
        try {
            ckptool::saveSetupChanges(file, ckptool::changesBetween(loaded_, now));
        } catch (const ckptool::ToolError& e) {
            fail("save", e.what());
        } catch (const ::ckp::Error& e) {
            fail(e.operation().c_str(), e.what());
        }
        loaded_ = std::move(now);
    }

  private:
    void take() { loaded_ = entries(); }
    ckptool::SetupEntries entries() const {
        try {
            return ckptool::storeEntries(name_);
        } catch (const ::ckp::Error& e) {
            fail(e.operation().c_str(), e.what());
        }
    }

    std::string name_;
    ckptool::SetupEntries loaded_;
};

// The lock of a file's directory that writers of its setup take, held by
// a Python object for the time of a with block.
class DirectoryLock {
  public:
    explicit DirectoryLock(py::handle path) : target_(bytesOf(path, "path")) {}
    ~DirectoryLock() { release(); }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    void acquire() {
        if (lock_ != nullptr) {
            return;
        }
        int errnum = 0;
        char* lockPath = nullptr;
        lock_ = kvoLockFileNamed(target_.c_str(), &errnum, &lockPath);
        if (lock_ == nullptr) {
            // Every lock failure names the lock file, as the command does.
            std::string where = lockPath != nullptr ? lockPath : target_;
            kvoFree(lockPath);
            fail("kvoLockFile", "cannot lock " + target_ + ": " + kvoStrError(errnum) +
                                    " (lock file " + where + ")");
        }
        kvoFree(lockPath);
    }
    void release() noexcept {
        kvoUnlockFile(lock_);
        lock_ = nullptr;
    }

  private:
    std::string target_;
    kvoFileLock* lock_ = nullptr;
};

py::object find(py::handle nameArg, py::handle groupArg) {
    return loadPath(bytesOf(nameArg, "name"), bytesOf(groupArg, "group"));
}

py::list entries(py::handle nameArg) {
    std::string name = bytesOf(nameArg, "name");
    Capture capture;
    kvoStrlist* list = ckpSetupGetEntryList(name.c_str());
    py::list names;
    for (kvoStrlist* at = list; at != nullptr && *at != nullptr; ++at) {
        try {
            names.append(text(*at));
        } catch (...) {
            kvoFreeStrlist(list);
            throw;
        }
    }
    kvoFreeStrlist(list);
    return names;
}

bool hasEntry(py::handle nameArg, py::handle entryArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    Capture capture;
    return ckpSetupGetEntry(name.c_str(), entry.c_str()) != 0;
}

void createEntry(py::handle nameArg, py::handle entryArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    Capture capture;
    check(ckpSetupCreateEntry(name.c_str(), entry.c_str(), nullptr), "ckpSetupCreateEntry", capture,
          name);
}

void deleteEntry(py::handle nameArg, py::handle entryArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    Capture capture;
    check(ckpSetupDelEntry(name.c_str(), entry.c_str()), "ckpSetupDelEntry", capture, name);
}

void freeArrays(char** names, char** values) {
    for (std::size_t i = 0; names != nullptr && names[i] != nullptr; ++i) {
        std::free(names[i]);
        std::free(values[i]);
    }
    std::free(names);
    std::free(values);
}

// The entry's properties in store order, a flag with the value None.
py::list props(py::handle nameArg, py::handle entryArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    Capture capture;
    char** names = nullptr;
    char** values = nullptr;
    int ok = ckpSetupGetAllProps(name.c_str(), entry.c_str(), &names, &values);
    py::list all;
    try {
        check(ok, "ckpSetupGetAllProps", capture, name);
        for (std::size_t i = 0; names != nullptr && names[i] != nullptr; ++i) {
            all.append(py::make_tuple(text(names[i]), text(values[i])));
        }
    } catch (...) {
        freeArrays(names, values);
        throw;
    }
    freeArrays(names, values);
    return all;
}

// (True, value) for a property, value None for a flag; (False, None) when
// the entry has no such property.
py::tuple getProp(py::handle nameArg, py::handle entryArg, py::handle propArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    std::string prop = bytesOf(propArg, "property name");
    Capture capture;
    char* value = nullptr;
    if (ckpSetupGetProp(name.c_str(), entry.c_str(), prop.c_str(), &value) == 0) {
        return py::make_tuple(false, py::none());
    }
    py::object result;
    try {
        result = text(value);
    } catch (...) {
        std::free(value);
        throw;
    }
    std::free(value);
    return py::make_tuple(true, result);
}

void setProp(py::handle nameArg, py::handle entryArg, py::handle propArg, py::handle valueArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    std::string prop = bytesOf(propArg, "property name");
    std::string value = valueArg.is_none() ? std::string() : bytesOf(valueArg, "value");
    Capture capture;
    check(ckpSetupSetProp(name.c_str(), entry.c_str(), prop.c_str(),
                          valueArg.is_none() ? nullptr : value.c_str()),
          "ckpSetupSetProp", capture, name);
}

void deleteProp(py::handle nameArg, py::handle entryArg, py::handle propArg) {
    std::string name = bytesOf(nameArg, "name");
    std::string entry = bytesOf(entryArg, "entry");
    std::string prop = bytesOf(propArg, "property name");
    Capture capture;
    check(ckpSetupDelProp(name.c_str(), entry.c_str(), prop.c_str()), "ckpSetupDelProp", capture,
          name);
}

} // namespace

void bindSetups(py::module_& module) {
    module.def("setup_load", &load);
    module.def("setup_create", &create);
    module.def("setup_clear", &clear);
    module.def("setup_save", &save);
    module.def("setup_find", &find);
    py::class_<DirectoryLock>(module, "DirectoryLock")
        .def(py::init<py::handle>())
        .def(
            "__enter__",
            [](DirectoryLock& self) {
                self.acquire();
                return &self;
            },
            py::return_value_policy::reference)
        .def("__exit__", [](DirectoryLock& self, py::args) { self.release(); });
    py::class_<Snapshot>(module, "Snapshot")
        .def(py::init<py::handle>())
        .def("save", &Snapshot::save);
    module.def("setup_entries", &entries);
    module.def("setup_has_entry", &hasEntry);
    module.def("setup_create_entry", &createEntry);
    module.def("setup_delete_entry", &deleteEntry);
    module.def("setup_props", &props);
    module.def("setup_get", &getProp);
    module.def("setup_set", &setProp);
    module.def("setup_delete_prop", &deleteProp);
}

} // namespace ckppy
