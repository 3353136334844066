#include "tool/Desktop.h"

#ifdef MUX_DESKTOP
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#endif

namespace {

struct Loaded {
    const DesktopModule* module = nullptr;
    std::string missing;
};

#ifdef MUX_DESKTOP

namespace fs = std::filesystem;

// The module beside the program as it runs, wherever the tree was installed.
fs::path modulePath() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : (program.parent_path() / MUX_DESKTOP_MODULE).lexically_normal();
}

Loaded load() {
    const fs::path path = modulePath();
    if (path.empty())
        return {nullptr, "navtool cannot find its own folder, where its desktop module lies"};
    // Kept open until navtool ends, as Qt keeps its plugins.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (std::error_code error; !fs::exists(path, error))
            return {nullptr, "its desktop module " + path.string() + " is missing"};
        return {nullptr, std::string("its desktop module cannot be loaded: ") + ::dlerror()};
    }
    const auto entry = reinterpret_cast<const DesktopModule* (*)()>(::dlsym(handle, kDesktopModuleEntry));
    const DesktopModule* module = entry ? entry() : nullptr;
    if (!module || module->version != kDesktopModuleVersion ||
        std::strcmp(module->release, NAVTOOL_RELEASE) != 0) {
        ::dlclose(handle);
        return {nullptr, path.string() + " is not the desktop module of this navtool " NAVTOOL_RELEASE};
    }
    return {module, {}};
}

#else

Loaded load() {
    return {nullptr, "this navtool was built without Qt (MUX_GUI=OFF)"};
}

#endif

const Loaded& loaded() {
    static const Loaded once = load();
    return once;
}

} // namespace

const DesktopModule* desktopModule() {
    return loaded().module;
}

std::string desktopMissing() {
    return loaded().missing;
}
