#pragma once
// Opening a file in a globe viewer: a desktop operation, done by navtool's desktop module.

#include <string>

// Opens an existing file with the globe viewer application ("Google Earth", else "Google Earth
// Pro"), each started from an argument list, never a shell, and else with the desktop's opener
// (xdg-open). True when one of them started; false for a missing file, when none started, and
// without the desktop module.
bool openGoogleEarth(const std::string& path);
// Whether this navtool has its desktop module and can open files in a globe viewer.
bool canOpenGoogleEarth();
// Why it cannot: "--open needs the Qt build (MUX_GUI=ON)", or "--open is unavailable: " and
// what is missing.
std::string globeViewerMissing();
