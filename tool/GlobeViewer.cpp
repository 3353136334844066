#include "tool/GlobeViewer.h"

#ifdef MUX_DESKTOP

#include <QProcess>
#include <QStringList>

#include <sys/stat.h>

namespace {

// The globe viewer's programs as installed, the older name first; then the desktop's opener.
const char* const programs[] = {"google-earth", "google-earth-pro", "xdg-open"};

} // namespace

bool canOpenGoogleEarth() {
    return true;
}

bool openGoogleEarth(const std::string& path) {
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

#else // without Qt: no desktop to open a file on

bool canOpenGoogleEarth() {
    return false;
}

bool openGoogleEarth(const std::string&) {
    return false;
}

#endif
