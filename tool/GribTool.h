#pragma once
// navtool grib: the subcommands, and what they share.

#include "tool/Commands.h"

#include "nav/grib/GribPoints.h"
#include "nav/grib/GribTime.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

int runGribList(const Arguments& args);
int runGribDump(const Arguments& args);
int runGribTimes(const Arguments& args);
int runGribRequest(const Arguments& args);
int runGribRender(const Arguments& args);
int runGribKml(const Arguments& args);

using GribFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
// Opens a GRIB file for reading, unpacking a ".bz2" file beside itself first; on failure prints
// why and returns an empty pointer.
GribFile openGribFile(const std::string& path);
// "--help" or "-h" as the only argument.
bool wantsHelp(const Arguments& args);

class GribModel;
// Reads the ISO date after "--date"; nullopt after saying why.
std::optional<GribDate> dateOption(const std::string& text);
// Loads FILE into the model and puts a forecast time on view: the given one, else the first.
// Says what the file lost (damage, a cut, grids beyond the model's bound) on the error stream.
// False after saying why; purpose ends the message of a file without a grid ("to draw").
bool loadForecast(GribModel& model, const std::string& file, std::optional<GribDate> date,
                  const char* purpose);
// Says of each grid on view whose contours stopped short that it was too detailed to draw.
void printContourNotes(const GribModel& model);
// The field named after --field: pressure, temperature, wave, height500, rain, or auto (none:
// the first a grid has); false after saying why.
bool fieldOption(const std::string& text, std::optional<GribField>& field);
// Lets the model hand a request's "mailto:" address to the desktop; false when this navtool has
// no desktop module (desktopMissing() says why).
bool installGribMailer(GribModel& model);
