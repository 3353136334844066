#pragma once
// Platform services for the navigation library and the installer: well-known folders, files,
// XML escaping, bzip2 decompression and system queries (library mux_support, any thread). The
// screen, colour, font and path aids are in support/OSXUtilUI.h.
//
// Folder codes (systemPath): 1 applications (~/.local/bin, the user's program folder),
// 5 library and 14 application support ($XDG_DATA_HOME, ~/.local/share), 9 documents and
// 15 downloads (XDG user folders, ~/Documents and ~/Downloads by default), 5555 the temporary
// folder ($TMPDIR, else /tmp).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

namespace OSXUtil {

enum Folder : int {
    ApplicationsFolder = 1,
    LibraryFolder = 5,
    DocumentsFolder = 9,
    ApplicationSupportFolder = 14,
    DownloadsFolder = 15,
    TemporaryFolder = 5555,
};

std::optional<std::string> systemPath(int code, const std::optional<std::string>& name);
std::optional<std::string> applicationSupportFolder(const std::optional<std::string>& name);
std::optional<std::string> documentsFolder();
std::string downloadsFolder(); // the home folder when there is no downloads folder
std::string temporaryFolder();

FilePtr fopenForRead(const std::optional<std::string>& path, const std::string& mode);
// Makes the path's parent the current folder and returns the last component.
std::optional<std::string> changeDirectoryToPath(const std::optional<std::string>& path);
std::optional<std::string> stringByEncodingXMLCharacters(const std::optional<std::string>& text);
// Decompresses "<name>.bz2" in-process into "<name>" (replacing it); the .bz2 file is kept.
// False, and nothing written, for a missing file, a path without an extension, or bad data.
bool bUnZip(const std::string& path);

std::string preferredLanguage(); // from the locale; "en" when there is none

// The running kernel's version as KERNEL_VERSION(a, b, c) = a << 16 | b << 8 | c; 0 when unknown.
uint32_t systemVersion();
bool isOSXVersion(uint32_t version); // systemVersion() >= version, false when unknown
inline bool isOSXTenDotThree() {
    return isOSXVersion(0x1030);
}
inline bool isOSXTenDotFour() {
    return isOSXVersion(0x1040);
}
inline bool isOSXTenDotFive() {
    return isOSXVersion(0x1050);
}
inline bool isOSXTenDotSix() {
    return isOSXVersion(0x1060);
}
inline bool isOSXTenDotSeven() {
    return isOSXVersion(0x1070);
}
bool isX86();
bool hasVelocityEngine(); // a SIMD vector unit
bool hasRAM();            // physical memory of at most 256 MiB
// A running process whose command name (as in /proc/<pid>/comm) equals the given name.
bool isProcessRunning(const std::string& name);

} // namespace OSXUtil
