#pragma once
// navtool's side of the desktop module (DesktopModule.h): loaded the first time a command needs
// it, from a place fixed relative to the program, in the build tree as once installed:
// <bindir>/../lib/<multiarch>/navtool/navtool-desktop.so.

#include "tool/DesktopModule.h"

#include <string>

// The module's table; nullptr when this navtool has none or it cannot be loaded.
const DesktopModule* desktopModule();
// Why desktopModule() is nullptr, as the end of a sentence: built without Qt, the module's file
// missing, or why it could not be loaded.
std::string desktopMissing();
