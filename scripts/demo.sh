#!/usr/bin/env bash
# Builds the console and starts it against a simulated multiplexer on a pseudo-terminal.
# Usage: scripts/demo.sh [console options ...]   (scripts/demo.sh --help lists them), e.g.
#   scripts/demo.sh --family model42 --bluetooth
# MUX_BUILD names another build folder than build/. The simulator alone: build/bin/muxsim.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${MUX_BUILD:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target muxconsole muxconsole-legacy muxsim
exec "$build/bin/muxconsole" --demo "$@"
