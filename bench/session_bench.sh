#!/usr/bin/env bash
# Session figures on loopback, against the test server:
#   - time from the client's start to its first frame drawn (median of 7 runs), beside the
#     time the same process takes to start and end without a session (the anchor);
#   - peak resident memory of a 1920x1080x24 headless session, as a ratio to the buffers it
#     must hold (frame buffer and the two message buffers);
#   - resident memory sampled over a session of continuous updates (SECONDS, default 60):
#     the buffers are allocated once, so it must not grow.
# Usage: bench/session_bench.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build="${1:-build/default}"
seconds="${2:-60}"
client="$build/app/corvane"
server="$build/tools/testserver/corvane-testserver"
out=$(mktemp -d /tmp/corvane-bench.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
mkdir -p "$out/docs"
printf '[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=%s\nINSTALLPATH=%s\n' \
  "$PWD/data/qel.ini" "$PWD/data" > "$out/registry"
export CORVANE_REGISTRY="$out/registry" XDG_DOCUMENTS_DIR="$out/docs"

start_server() {  # options...; sets port
  "$server" --port 0 --once --exit-after 120 --log "$out/server.log" "$@" > "$out/port" 2> "$out/server.err" &
  for _ in $(seq 100); do grep -q listening "$out/port" 2>/dev/null && break; sleep 0.05; done
  port=$(awk '{print $3}' "$out/port")
  sed "s/^DisplayServerPort .*/DisplayServerPort         $port\r/" data/demo.zrp > "$out/s.zrp"
}

now_ms() { date +%s%3N; }

first=() anchor=()
for run in $(seq 7); do
  start_server --static --geometry 1920x1080
  t0=$(now_ms); "$client" --headless --exit-after-frames 1 "$out/s.zrp" > /dev/null; t1=$(now_ms)
  first+=($((t1 - t0)))
  wait
  t0=$(now_ms); "$client" --help > /dev/null; t1=$(now_ms)
  anchor+=($((t1 - t0)))
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
echo "start to first frame (1920x1080x24, loopback): $(median "${first[@]}") ms median of 7" \
     "(process start alone: $(median "${anchor[@]}") ms)"

start_server --geometry 1920x1080 --frames 0 --frame-interval 10
"$client" --headless --exit-after "$seconds" "$out/s.zrp" > /dev/null &
pid=$!
samples=()
for _ in $(seq 0 5 "$seconds"); do
  sleep 5
  rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status 2>/dev/null || true)
  [ -n "$rss" ] && samples+=("$rss")
done
peak=$(awk '/VmHWM/ {print $2}' /proc/$pid/status 2>/dev/null || echo "${samples[-1]}")
wait $pid || true
frames=$(grep -c "frame sent" "$out/server.log" || true)
# Frame buffer 1920x1088x4 and two message buffers of (1920*1080*4+2000)*1.5 bytes.
buffers_kb=$(( (1920 * 1088 * 4 + 2 * ((1920 * 1080 * 4 + 2000) * 3 / 2)) / 1024 ))
echo "updates drawn in ${seconds}s: $frames"
echo "resident memory every 5 s (kB): ${samples[*]}"
echo "peak resident: ${peak} kB; buffers the session must hold: ${buffers_kb} kB;" \
     "ratio $(awk -v p="$peak" -v b="$buffers_kb" 'BEGIN { printf "%.2f", p / b }')"
echo "growth from the first sample to the last: $(( ${samples[-1]} - ${samples[0]} )) kB"
