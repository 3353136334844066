// The desktop module's entry table, and opening a file in a globe viewer.

#include "tool/DesktopModule.h"

#include <QProcess>
#include <QStringList>

#include <sys/stat.h>

namespace {

// The globe viewer's programs as installed, the older name first; then the desktop's opener.
const char* const programs[] = {"google-earth", "google-earth-pro", "xdg-open"};

} // namespace

bool openWithGlobeViewer(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const QStringList arguments{QString::fromStdString(path)};
    for (const char* program : programs) {
        if (QProcess::startDetached(QString::fromLatin1(program), arguments))
            return true;
    }
    return false;
}

extern "C" __attribute__((visibility("default"))) const DesktopModule* navtoolDesktopModule() {
    static const DesktopModule table{kDesktopModuleVersion, NAVTOOL_RELEASE, drawGribForecast, mailToDesktop,
                                     openWithGlobeViewer};
    return &table;
}
