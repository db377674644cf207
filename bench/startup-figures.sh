#!/usr/bin/env bash
# Start-up and idle figures of the Control Center with the virtual reader, headless:
#  - start-up: process start to the window drawn and closed by --screenshot (after the device layer has
#    settled), next to bench/bare_window showing a window of the same frame; timed in turns, medians;
#  - idle: CPU time (user + system) the running program uses over 10 s with its reader and card and no
#    activity.
# Usage: bench/startup-figures.sh [BUILD] [TURNS]
set -euo pipefail
build=${1:-build}
turns=${2:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" XDG_DATA_HOME="$work"

program="$build/src/app/tessaly-control-center"
bare="$build/bench/bare_window"
hive="$work/registry.db"

milliseconds() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One first start seeds the hive, so that every timed start is an ordinary one.
"$program" --registry "$hive" --readers virtual --screenshot "$work/first.png"
: > "$work/bare" && : > "$work/center"
for ((turn = 0; turn < turns; ++turn)); do
  start=$(milliseconds); "$bare" "$work/bare.png"; echo $(($(milliseconds) - start)) >> "$work/bare"
  start=$(milliseconds)
  "$program" --registry "$hive" --readers virtual --screenshot "$work/center.png"
  echo $(($(milliseconds) - start)) >> "$work/center"
done
bare_ms=$(median < "$work/bare")
center_ms=$(median < "$work/center")
echo "start-up, median of $turns: bare Qt window $bare_ms ms, Control Center with the virtual reader $center_ms ms" \
     "(ratio $(awk -v c="$center_ms" -v b="$bare_ms" 'BEGIN { printf "%.2f", c / b }'))"

"$program" --registry "$hive" --readers virtual &
pid=$!
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
sleep 3
before=$(cpu_ticks)
sleep 10
after=$(cpu_ticks)
kill "$pid"
wait "$pid" || true
echo "idle over 10 s: $((after - before)) clock ticks of CPU ($(getconf CLK_TCK) per second)"
