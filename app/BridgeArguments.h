#pragma once
// The options of --headless, completed from the window's stored settings: an option given wins,
// what is not given is read from the store (port, rate, server port and switch, where it
// listens, whether it takes clients' sentences, UDP switch and destinations).

#include "mux/HeadlessBridge.h"

#include <optional>

// Fills `options`; the exit status when the program is to stop at once (--help: 0, a bad or
// missing option: 2, said on standard error).
std::optional<int> bridgeArguments(int argc, char** argv, const char* program, BridgeOptions& options);
