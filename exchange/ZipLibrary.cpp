#include "exchange/ZipLibrary.h"

#include <dlfcn.h>

namespace exchange {

namespace {

struct Loaded {
    ZipLibrary library{};
    bool ok = false;
    std::string error;
};

template <typename Function>
bool resolve(void* handle, const char* symbol, Function& function, std::string* missing) {
    function = reinterpret_cast<Function>(::dlsym(handle, symbol));
    if (!function && missing->empty())
        *missing = symbol;
    return function != nullptr;
}

Loaded load() {
    Loaded loaded;
    // Kept open until the program ends.
    void* handle = ::dlopen(MUX_LIBZIP_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        loaded.error = std::string("KMZ archives need " MUX_LIBZIP_SONAME ", which cannot be loaded: ") +
                       (why ? why : "unknown reason");
        return loaded;
    }
    ZipLibrary& z = loaded.library;
    std::string missing;
    // Every symbol is looked up, so the first one missing is the one named.
    bool ok = resolve(handle, "zip_open", z.open, &missing);
    ok = resolve(handle, "zip_open_from_source", z.openFromSource, &missing) && ok;
    ok = resolve(handle, "zip_close", z.close, &missing) && ok;
    ok = resolve(handle, "zip_discard", z.discard, &missing) && ok;
    ok = resolve(handle, "zip_error_init", z.errorInit, &missing) && ok;
    ok = resolve(handle, "zip_error_fini", z.errorFini, &missing) && ok;
    ok = resolve(handle, "zip_source_buffer_create", z.sourceBufferCreate, &missing) && ok;
    ok = resolve(handle, "zip_source_buffer", z.sourceBuffer, &missing) && ok;
    ok = resolve(handle, "zip_source_free", z.sourceFree, &missing) && ok;
    ok = resolve(handle, "zip_name_locate", z.nameLocate, &missing) && ok;
    ok = resolve(handle, "zip_get_num_entries", z.numEntries, &missing) && ok;
    ok = resolve(handle, "zip_get_name", z.name, &missing) && ok;
    ok = resolve(handle, "zip_fopen_index", z.fopenIndex, &missing) && ok;
    ok = resolve(handle, "zip_fread", z.fread, &missing) && ok;
    ok = resolve(handle, "zip_fclose", z.fclose, &missing) && ok;
    ok = resolve(handle, "zip_file_add", z.fileAdd, &missing) && ok;
    if (!ok) {
        ::dlclose(handle);
        loaded.error = "KMZ archives need " MUX_LIBZIP_SONAME ", which lacks " + missing;
        return loaded;
    }
    loaded.ok = true;
    return loaded;
}

const Loaded& loaded() {
    static const Loaded once = load();
    return once;
}

} // namespace

const ZipLibrary* zipLibrary() {
    return loaded().ok ? &loaded().library : nullptr;
}

const std::string& zipLibraryError() {
    return loaded().error;
}

} // namespace exchange
