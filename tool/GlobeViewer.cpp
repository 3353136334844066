#include "tool/GlobeViewer.h"

#include "tool/Desktop.h"

bool canOpenGoogleEarth() {
    return desktopModule() != nullptr;
}

bool openGoogleEarth(const std::string& path) {
    const DesktopModule* desktop = desktopModule();
    return desktop && desktop->openInGlobeViewer(path);
}

std::string globeViewerMissing() {
#ifdef MUX_DESKTOP
    return "--open is unavailable: " + desktopMissing();
#else
    return "--open needs the Qt build (MUX_GUI=ON)";
#endif
}
