// The desktop's mail program takes GRIB requests: the "mailto:" address goes to the desktop
// services, and to xdg-open when they do not take it.

#include "tool/DesktopModule.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

#include <memory>

namespace {

QtMessageHandler previousHandler = nullptr;

// Qt's warnings on the way (no runtime folder, a platform that opens nothing) are not the
// user's business: navtool says what came of it.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if ((type == QtCriticalMsg || type == QtFatalMsg) && previousHandler)
        previousHandler(type, context, message);
}

} // namespace

bool mailToDesktop(const std::string& mailto) {
    const QString address = QString::fromStdString(mailto);
    previousHandler = qInstallMessageHandler(quietHandler);
    struct Restore {
        ~Restore() { qInstallMessageHandler(previousHandler); }
    } restore;
    // The desktop services need the GUI application; without a screen they are the offscreen
    // platform's, which open nothing, and xdg-open is asked instead.
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            const bool screen =
                !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("DISPLAY");
            qputenv("QT_QPA_PLATFORM", screen ? "wayland;xcb;offscreen" : "offscreen");
        }
        static int argc = 1;
        static char name[] = "navtool";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    if (QDesktopServices::openUrl(QUrl(address)))
        return true;
    return QProcess::startDetached("xdg-open", {address});
}
