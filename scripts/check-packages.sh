#!/usr/bin/env bash
# Checks the packages of scripts/package.sh as a user gets them: lintian (no error), then installs
# them with apt-get, runs the installed programs and removes them again, with every package the
# install pulled in, so the machine is left as it was. Needs root (or sudo).
# Usage: scripts/check-packages.sh [build folder]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh dpkg-dev lintian desktop-file-utils man-db
build=$(realpath -m "${1:-build}")
debs=("$build"/packages/*.deb)
[ -e "${debs[0]}" ] || { echo "check-packages.sh: no package in $build/packages (scripts/package.sh)" >&2; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

echo "-- lintian"
lintian --fail-on error "${debs[@]}"

installed() {
  dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | sort
}
scratch=$(mktemp -d)
installed >"$scratch/before"
simulator=""
# Removes what the install added, whatever happened in between.
restore() {
  [ -z "$simulator" ] || { kill "$simulator" && wait "$simulator"; } 2>/dev/null || true
  local added
  added=$(installed | comm -13 "$scratch/before" -)
  if [ -n "$added" ]; then
    echo "-- removing: $(echo $added)"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added >/dev/null
  fi
  rm -rf "$scratch"
}
trap restore EXIT

echo "-- apt-get install ${debs[*]##*/}"
start=$(date +%s%N)
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]}" >/dev/null
echo "installed in $((($(date +%s%N) - start) / 1000000)) ms"

echo "-- navtool variation 50.8N 1.3W 2008-06-01"
variation=$(/usr/bin/navtool variation 50.8N 1.3W 2008-06-01)
[ "$variation" = "-2.29" ] || { echo "expected -2.29, got $variation" >&2; exit 1; }
echo "$variation"

echo "-- navtool convert to KMZ and back, with the libzip it loads on first use"
printf '%s\n' '<?xml version="1.0"?>' '<gpx version="1.1" creator="check" xmlns="http://www.topografix.com/GPX/1/1">' \
  '<wpt lat="50.8" lon="-1.3"><name>Cowes</name></wpt>' '</gpx>' >"$scratch/one.gpx"
/usr/bin/navtool convert "$scratch/one.gpx" "$scratch/one.kmz" >/dev/null
/usr/bin/navtool convert "$scratch/one.kmz" "$scratch/back.gpx" >/dev/null
grep -q "<name>Cowes</name>" "$scratch/back.gpx" || { echo "the waypoint did not come back from KMZ" >&2; exit 1; }

echo "-- navtool grib render --help, from the desktop module in /usr/lib"
/usr/bin/navtool grib render --help | grep "Draws the forecast" >/dev/null

echo "-- muxconsole --help, without a display"
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/muxconsole --help | grep -- "--port PATH" >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/muxconsole-legacy --version

echo "-- muxsim, and the installed muxconsole identifying it"
/usr/bin/muxsim --link "$scratch/mux" >"$scratch/muxsim.out" &
simulator=$!
for _ in $(seq 100); do [ -L "$scratch/mux" ] && break; sleep 0.1; done
[ -L "$scratch/mux" ] || { echo "muxsim made no terminal" >&2; exit 1; }
# Its own preferences, so the machine's stay as they were; the picture is taken once identified.
HOME=$scratch XDG_CONFIG_HOME=$scratch QT_QPA_PLATFORM=offscreen timeout 60 \
  /usr/bin/muxconsole --port "$scratch/mux" --screenshot "$scratch/window.png" 2>/dev/null
[ -s "$scratch/window.png" ] || { echo "muxconsole saved no picture" >&2; exit 1; }
echo "the device on $(cat "$scratch/muxsim.out") identified, the window saved"

echo "-- the bridge without a display or an environment, read by navtool listen"
env -i XDG_CONFIG_HOME="$scratch" /usr/bin/muxconsole --headless --port "$scratch/mux" --tcp 0 --bind local 2>"$scratch/bridge.err" &
bridge=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/.*port \([0-9][0-9]*\) .*/\1/p' "$scratch/bridge.err")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$scratch/bridge.err" >&2; echo "the bridge did not serve" >&2; exit 1; }
timeout 30 /usr/bin/navtool listen "tcp://127.0.0.1:$port" --count 3 >"$scratch/listened"
kill -TERM "$bridge"
wait "$bridge" || { cat "$scratch/bridge.err" >&2; echo "the bridge did not end cleanly" >&2; exit 1; }
[ "$(wc -l <"$scratch/listened")" -eq 3 ] || { echo "navtool listen printed no lines" >&2; exit 1; }
echo "the bridge served $(head -c 40 "$scratch/listened" | head -1) ... and ended on SIGTERM"

echo "-- manual pages"
for page in muxconsole muxconsole-legacy muxsim navtool; do
  man -w "$page"
done
test -f /usr/share/muxconsole/strings/de.plist
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no muxbridge@ttyS0.service
fi
echo "packages checked"
