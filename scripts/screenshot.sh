#!/usr/bin/env bash
# Renders each program running against the simulated multiplexer (offscreen) into docs/.
# Usage: scripts/screenshot.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash scripts/deps.sh
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target muxconsole muxconsole-legacy
mkdir -p docs
export QT_QPA_PLATFORM=offscreen
# A demonstration keeps its preferences apart; here they go to a throw-away folder as well.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
"$build/bin/muxconsole" --demo --family third --traffic 12 --screenshot docs/muxconsole.png
"$build/bin/muxconsole-legacy" --demo --family legacy --traffic 12 --screenshot docs/muxconsole-legacy.png
echo "docs/muxconsole.png docs/muxconsole-legacy.png"
