#pragma once
// The subcommands of navtool. Each takes its own arguments (after the subcommand's name) and
// returns the process exit status: 0 done, 1 failure while running, 2 bad usage.

#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const Arguments& args);
};

int runVariation(const Arguments& args);
int runSimulate(const Arguments& args);
int runListen(const Arguments& args);
int runConvert(const Arguments& args);
int runList(const Arguments& args);
int runGrib(const Arguments& args);

// Shared argument readers: whole text must be the value.
bool parseNumber(const std::string& text, double* value);
// Decimal degrees, negative south or west, or with a trailing hemisphere letter ("41.5N", "8.2W").
bool parseCoordinate(const std::string& text, bool latitude, double* value);
