#!/usr/bin/env bash
# Builds the simulated multiplexer and starts it; it prints the terminal to connect to.
# Usage: scripts/demo.sh [simulator options ...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target muxsim
exec build/bin/muxsim "$@"
