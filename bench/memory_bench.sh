#!/usr/bin/env bash
# The windowed client's memory over a long 1920x1080 session: a recording of a real X desktop
# (a terminal scrolling a directory listing) is replayed again and again, as fast as the
# client reads, to the windowed client on an Xvfb of its own for MINUTES. Its resident memory
# is sampled every 30 s; the peak (VmHWM) and the samples show whether it stays below the
# target and flat.
# Usage: bench/memory_bench.sh [BUILD_DIR] [MINUTES]     (default build/default, 10)
set -euo pipefail
build="${1:-build/default}"
minutes="${2:-10}"
# shellcheck source=bench/replay_common.sh
. "$(dirname "$0")/replay_common.sh"

record_x_desktop 10 || exit 1
seconds=$((minutes * 60))
display=$(free_display)
start_xvfb "$display" 1920x1200x24
server_seconds=$((seconds + 120)) start_server replay --replay "$out/rec" --replay-for "$seconds"
DISPLAY="$display" "$client" --exit-after $((seconds + 30)) "$out/s.zrp" > /dev/null 2> "$out/client.err" &
client_pid=$!

echo "target: peak resident memory below 80 MB, flat after the first minute"
samples=()
for ((t = 30; t <= seconds; t += 30)); do
  sleep 30
  kill -0 "$client_pid" 2>/dev/null || { echo "the client ended early:"; tail -3 "$out/client.err"; exit 1; }
  rss=$(awk '/^VmRSS/ { print int($2 / 1024) }' "/proc/$client_pid/status")
  samples+=("$rss")
  echo "$((t / 60)) min $((t % 60)) s: resident $rss MB"
done
peak=$(awk '/^VmHWM/ { print int($2 / 1024) }' "/proc/$client_pid/status")
wait "$server_pid" || true
wait "$client_pid" || true
rounds=$(sed -n 's/.*replay rounds=\([0-9]*\).*/\1/p' "$out/replay.log")
updates=$(sed -n 's/.*updates=\([0-9]*\).*/\1/p' "$out/replay.log" | head -1)
first=${samples[1]:-${samples[0]}}
last=${samples[${#samples[@]}-1]}
echo "peak ${peak} MB; from the first minute ${first} MB to the end ${last} MB;" \
  "${rounds:-1} rounds of a ${updates:-?}-update recording"
