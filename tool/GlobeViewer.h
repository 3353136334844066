#pragma once
// Opening a file in a globe viewer: a desktop operation, so only in navtool's Qt build.

#include <string>

// Opens an existing file with the globe viewer application ("Google Earth", else "Google Earth
// Pro"), each started from an argument list, never a shell, and else with the desktop's opener
// (xdg-open). True when one of them started; false for a missing file, when none started, and in
// a navtool built without Qt.
bool openGoogleEarth(const std::string& path);
// Whether this navtool was built with Qt and can open files in a globe viewer.
bool canOpenGoogleEarth();
