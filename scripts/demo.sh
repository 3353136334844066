#!/usr/bin/env bash
# Builds the simulated multiplexer and starts it; it prints the terminal to connect to and runs
# until interrupted (Ctrl-C).
# Usage: scripts/demo.sh [simulator options ...]   (scripts/demo.sh --help lists them)
# MUX_BUILD names another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${MUX_BUILD:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target muxsim
exec "$build/bin/muxsim" "$@"
