#!/usr/bin/env bash
# Renders the programs running against the simulated multiplexer (offscreen) into docs/: both
# windows, the monitor with failed and sent lines shown, the Sentences tab with a decoded RMC and
# an AIS report, and the German window at 1024 x 600.
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
traffic=scripts/screenshot-traffic.nmea
small=(--screenshot-size 1024x600)

# The monitor's options as a user would set them: each line's time, failed lines, what was sent.
options() {
  cat > "$XDG_CONFIG_HOME/muxconsole-demo.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>monitorShowTime</key><$1/><key>monitorShowErrors</key><$1/><key>monitorShowSent</key><$1/>
</dict></plist>
PLIST
}

options false
"$build/bin/muxconsole" --demo --family third --traffic 12 --screenshot docs/muxconsole.png
"$build/bin/muxconsole-legacy" --demo --family legacy --traffic 12 --screenshot docs/muxconsole-legacy.png
options true
"$build/bin/muxconsole" --demo --family third --traffic 12 --log "$traffic" "${small[@]}" \
  --screenshot docs/monitor-errors-sent.png
"$build/bin/muxconsole" --demo --family third --traffic 12 --log "$traffic" "${small[@]}" \
  --screenshot-sentence GPRMC --screenshot docs/sentences-rmc.png
"$build/bin/muxconsole" --demo --family third --traffic 12 --log "$traffic" "${small[@]}" \
  --screenshot-sentence AIVDM --screenshot docs/sentences-ais.png
options false
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$build/bin/muxconsole" --demo --family third --traffic 12 \
  --log "$traffic" "${small[@]}" --screenshot docs/muxconsole-de-1024x600.png
echo "docs/muxconsole.png docs/muxconsole-legacy.png docs/monitor-errors-sent.png docs/sentences-rmc.png" \
  "docs/sentences-ais.png docs/muxconsole-de-1024x600.png"
