#pragma once
// libzip, loaded when a KMZ archive is first read or written: most conversions never touch an
// archive, and linking it would make every start of the programs load it and its crypto library.

#include <zip.h>

#include <string>

namespace exchange {

struct ZipLibrary {
    decltype(&::zip_open) open;
    decltype(&::zip_open_from_source) openFromSource;
    decltype(&::zip_close) close;
    decltype(&::zip_discard) discard;
    decltype(&::zip_error_init) errorInit;
    decltype(&::zip_error_fini) errorFini;
    decltype(&::zip_source_buffer_create) sourceBufferCreate;
    decltype(&::zip_source_buffer) sourceBuffer;
    decltype(&::zip_source_free) sourceFree;
    decltype(&::zip_name_locate) nameLocate;
    decltype(&::zip_get_num_entries) numEntries;
    decltype(&::zip_get_name) name;
    decltype(&::zip_fopen_index) fopenIndex;
    decltype(&::zip_fread) fread;
    decltype(&::zip_fclose) fclose;
    decltype(&::zip_file_add) fileAdd;
};

// The library, loaded once and kept; nothing when it cannot be loaded.
const ZipLibrary* zipLibrary();
// Why it cannot be loaded, such as "KMZ archives need libzip.so.4, which cannot be loaded: ...";
// empty when it is loaded.
const std::string& zipLibraryError();

} // namespace exchange
