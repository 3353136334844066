#pragma once
// The programs' shared entry: options, the window, and the simulated device of --demo.

#include "mux/protocol/Descriptor.h"

int runConsole(int argc, char** argv, MuxVariant variant);
