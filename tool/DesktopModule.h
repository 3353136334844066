#pragma once
// navtool's desktop half: what needs Qt or netCDF (drawing a forecast with its shorelines,
// handing a mail to the desktop, opening a file in a globe viewer) is a module of its own,
// navtool-desktop.so, that navtool loads only when a command asks for one of these. Every other
// command starts without Qt, netCDF and what they bring. The module is built with navtool, from
// the same sources, and is found beside the program (see Desktop.h).

#include "tool/Commands.h"

#include <cstdint>
#include <string>

// Raised whenever the table below changes.
inline constexpr std::uint32_t kDesktopModuleVersion = 1;

// The module's entry table. The arguments are C++ types of the same build: release must be
// navtool's own as well as the version.
struct DesktopModule {
    std::uint32_t version;
    const char* release;
    // navtool grib render, from its arguments on; the exit status.
    int (*gribRender)(const Arguments& args);
    // Hands a "mailto:" address to the desktop's mail program; false when nothing took it.
    bool (*sendMail)(const std::string& mailto);
    // Opens an existing file in the globe viewer (see GlobeViewer.h); false when none started.
    bool (*openInGlobeViewer)(const std::string& path);
};

// The one symbol the module exports.
inline constexpr char kDesktopModuleEntry[] = "navtoolDesktopModule";
extern "C" const DesktopModule* navtoolDesktopModule();

// The module's parts, behind the table.
int drawGribForecast(const Arguments& args);
bool mailToDesktop(const std::string& mailto);
bool openWithGlobeViewer(const std::string& path);
