#!/bin/sh
# The bridge without a screen beside the calibration server of ../shared/fanout, in one run: each
# re-serves a pseudo-terminal at 1,000 lines/s to clients on this computer, and the harness reads
# every line and times it. Prints the table of each run; figures never fail.
#
#   bench/fanout.sh [--pin] [CASES [RUNS]]      e.g. bench/fanout.sh --pin N100,N500 3
#
# --pin keeps the harness on the first processor and each server on the second. On a 2-core
# machine the harness's one reader otherwise shares the processors with the server it measures,
# and its delays land in the latency of whichever server ran beside it; pinned, each server gets
# one processor (the bridge's two sending threads share it).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
harness=$root/../shared/fanout
program=$root/build/bin/muxconsole
pin=
if [ "${1:-}" = --pin ]; then
    pin=1
    shift
fi
cases=${1:-N500}
runs=${2:-1}

case $runs in
'' | *[!0-9]*) echo "fanout.sh: RUNS is a number of runs, not '$runs'" >&2; exit 2 ;;
esac
[ -f "$harness/run_table.py" ] || { echo "fanout.sh: no harness at $harness" >&2; exit 1; }
[ -x "$program" ] || { echo "fanout.sh: $program is missing: build it first (scripts/test.sh)" >&2; exit 1; }
if [ -n "$pin" ] && [ "$(nproc)" -lt 2 ]; then
    echo "fanout.sh: --pin needs two processors" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fanout.XXXXXX")
# The bridge keeps its settings in a folder of its own per port, never in the user's.
cat > "$work/bridge.sh" <<EOF
#!/bin/sh
d=$work/home/\$2
mkdir -p "\$d/config"
HOME=\$d XDG_CONFIG_HOME=\$d/config exec "$program" --headless --port "\$1" --tcp "\$2" --bind local
EOF
chmod +x "$work/bridge.sh"

server=
harnessOn=
if [ -n "$pin" ]; then
    server="taskset -c 1"
    harnessOn="taskset -c 0"
fi

run=1
while [ "$run" -le "$runs" ]; do
    out=$work/run$run
    $harnessOn python3 "$harness/run_table.py" --bin-dir "$work/bin" --out-dir "$out" --cases "$cases" \
        --peers ref --peer "ref=exec $server $work/bin/refserver {pty} {port}" \
        --peer "bridge=exec $server $work/bridge.sh {pty} {port}" >/dev/null 2>"$out.log" ||
        { echo "fanout.sh: run $run failed; see $out.log" >&2; exit 1; }
    echo "run $run${pin:+ (pinned)}:"
    grep '^| ' "$out/results.md"
    run=$((run + 1))
done
echo "results and logs: $work"
