#!/usr/bin/env bash
# The windowed client's paint path under load, on an X server of its own (Xvfb):
#   - paints per second and damage signals per second while the test server sends about
#     60 updates a second to a 1920x1080x24 session shown full size;
#   - the longest time a repaint request waited for the window (must stay under 100 ms);
#   - the client's CPU use (user + system, as a share of one core) and peak resident memory,
#     beside the same figures of the headless client on the same stream (the anchor).
# Usage: bench/window_paint_bench.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build="${1:-build/default}"
seconds="${2:-20}"
client="$build/app/corvane"
server="$build/tools/testserver/corvane-testserver"
out=$(mktemp -d /tmp/corvane-paint.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
mkdir -p "$out/docs"
printf '[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=%s\nINSTALLPATH=%s\n' \
  "$PWD/data/qel.ini" "$PWD/data" > "$out/registry"
export CORVANE_REGISTRY="$out/registry" XDG_DOCUMENTS_DIR="$out/docs"

display=""
for n in $(seq 120 160); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1920x1200x24 -nolisten tcp > /dev/null 2>&1 &
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done

start_server() {
  "$server" --port 0 --once --exit-after 120 --geometry 1920x1080 --frames 0 --frame-interval "${INTERVAL:-16}" \
    --log "$out/server.log" > "$out/port" 2> "$out/server.err" &
  server_pid=$!
  for _ in $(seq 100); do grep -q listening "$out/port" 2>/dev/null && break; sleep 0.05; done
  port=$(awk '{print $3}' "$out/port")
  sed "s/^\(DisplayServerPort *\)[0-9]*/\1$port/" data/demo.zrp > "$out/s.zrp"
}

run() {  # label, client options...
  local label=$1; shift
  start_server
  rm -f "$out/docs/My Connections/zRPDisplayLog.txt"
  /usr/bin/time -f "%U %S %M" -o "$out/time" env DISPLAY="$display" "$client" "$@" --exit-after "$seconds" \
    "$out/s.zrp" > /dev/null 2> "$out/client.err" || true
  wait "$server_pid" || true
  read -r user sys rss < "$out/time"
  local frames
  frames=$(grep -c "frame sent" "$out/server.log" || true)
  cpu=$(awk -v u="$user" -v s="$sys" -v t="$seconds" 'BEGIN { printf "%.1f", 100 * (u + s) / t }')
  echo "$label: $frames updates in ${seconds} s; CPU ${cpu}% of a core; peak memory $((rss / 1024)) MB"
}

run "headless (anchor)" --headless
run "windowed" 
line=$(grep -h "Window:" "$out/docs/My Connections/"*.txt | tail -1 || true)
paints=$(sed -n 's/.*Window: \([0-9]*\) paints for \([0-9]*\) damage.*/\1/p' <<< "$line")
requests=$(sed -n 's/.*Window: \([0-9]*\) paints for \([0-9]*\) damage.*/\2/p' <<< "$line")
wait_ms=$(sed -n 's/.*longest wait for a repaint \([0-9]*\) ms.*/\1/p' <<< "$line")
echo "windowed: $(awk -v p="$paints" -v t="$seconds" 'BEGIN { printf "%.1f", p / t }') paints/s for" \
     "$(awk -v p="$requests" -v t="$seconds" 'BEGIN { printf "%.1f", p / t }') damage signals/s;" \
     "longest wait for a repaint ${wait_ms} ms"
