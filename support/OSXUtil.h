#pragma once
// Platform services for the navigation library and the installer: well-known folders, files,
// XML escaping, bzip2 decompression, system queries (library mux_support, any thread), and
// screen, colour, font and path aids (library mux_support_ui, main thread only).
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

class QWidget;
class QColor;
class QPainterPath;
class QRectF;
class QSize;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class OSXUtil {
public:
    enum Folder : int {
        ApplicationsFolder = 1,
        LibraryFolder = 5,
        DocumentsFolder = 9,
        ApplicationSupportFolder = 14,
        DownloadsFolder = 15,
        TemporaryFolder = 5555,
    };

    static std::optional<std::string> systemPath(int code, const std::optional<std::string>& name);
    static std::optional<std::string> applicationSupportFolder(const std::optional<std::string>& name);
    static std::optional<std::string> documentsFolder();
    static std::string downloadsFolder(); // the home folder when there is no downloads folder
    static std::string temporaryFolder();

    static FilePtr fopenForRead(const std::optional<std::string>& path, const std::string& mode);
    // Makes the path's parent the current folder and returns the last component.
    static std::optional<std::string> changeDirectoryToPath(const std::optional<std::string>& path);
    static std::optional<std::string> stringByEncodingXMLCharacters(const std::optional<std::string>& text);
    // Decompresses "<name>.bz2" in-process into "<name>" (replacing it); the .bz2 file is kept.
    // False, and nothing written, for a missing file, a path without an extension, or bad data.
    static bool bUnZip(const std::string& path);

    static std::string preferredLanguage(); // from the locale; "en" when there is none

    // The running kernel's version as KERNEL_VERSION(a, b, c) = a << 16 | b << 8 | c; 0 when unknown.
    static uint32_t systemVersion();
    static bool isOSXVersion(uint32_t version); // systemVersion() >= version, false when unknown
    static bool isOSXTenDotThree() { return isOSXVersion(0x1030); }
    static bool isOSXTenDotFour() { return isOSXVersion(0x1040); }
    static bool isOSXTenDotFive() { return isOSXVersion(0x1050); }
    static bool isOSXTenDotSix() { return isOSXVersion(0x1060); }
    static bool isOSXTenDotSeven() { return isOSXVersion(0x1070); }
    static bool isX86();
    static bool hasVelocityEngine(); // a SIMD vector unit
    static bool hasRAM();            // physical memory of at most 256 MiB
    // A running process whose command name (as in /proc/<pid>/comm) equals the given name.
    static bool isProcessRunning(const std::string& name);

    // Qt side (mux_support_ui), main thread.
    static unsigned screenDPI();
    static QSize maxScreenSize();
    static bool hasScreen(); // the primary screen is smaller than 1024 x 768
    static void setFullScreen(QWidget* view);
    static void setBackgroundColor(QWidget* view, int mode);
    static std::optional<QColor> transparentColor(const std::optional<QColor>& color, double alpha);
    static void sizeTextforControl(QWidget* control);
    static bool pathContainsRect(const QPainterPath& path, const QRectF& rect);
    static QPainterPath bezierPathWithRoundedRect(const QRectF& rect, double radiusA, double radiusB);
};
