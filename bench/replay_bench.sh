#!/usr/bin/env bash
# The whole client on a recorded session, as fast as it reads: the test server records a
# session (the generated desktop in raw pixels, JFIF drawing requests and VP8 video, and a real X desktop with a scrolling terminal and with a
# dragged window when Xvfb and xterm are there), then replays it to the headless client over loopback and over TLS,
# and to the windowed client on an Xvfb of its own. For each: updates and megabytes (of the
# wire stream) per second, client CPU (user + system, start-up included) per update, and
# the ratio of the library limits on the same recording, measured in the same run by
# replay_limits_bench (inflate + decode + copy, the JFIF decodes shared out over the client's
# threads), to the time the client took: 1.0 would be
# a client that costs nothing beyond its libraries. The client's time runs from the first
# replayed byte to its close after the last update (the server's "replay end"). The scrolling
# terminal's replay also runs under input_latency_bench, for the keys' and pointer's latency
# while the client reads as fast as it can.
# Recordings are made here, in a temporary folder, and removed afterwards.
# Usage: bench/replay_bench.sh [BUILD_DIR] [UPDATES] [RUNS]
#   UPDATES  moving updates recorded from the generated desktop (default 600); the X desktop
#            scenes are recorded for 10 s each
#   RUNS     replays of each kind; the median is shown (default 3)
set -euo pipefail
build="${1:-build/default}"
updates="${2:-600}"
runs="${3:-3}"
# shellcheck source=bench/replay_common.sh
. "$(dirname "$0")/replay_common.sh"

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

# replay LABEL RECORDING CLIENT-ENV -- CLIENT-OPTIONS...: runs it $runs times, prints the figures.
replay() {
  local label=$1 recording=$2 display=$3; shift 3
  local count bytes limit_ms ms=() cpu=()
  count=$(sed -n 's/.*updates=\([0-9]*\).*/\1/p' "$out/limits")
  bytes=$(sed -n 's/.*wire-bytes=\([0-9]*\).*/\1/p' "$out/limits")
  limit_ms=$(sed -n 's/.*total-ms=\([0-9.]*\).*/\1/p' "$out/limits")
  for _ in $(seq "$runs"); do
    start_server replay --replay "$recording" $([ "${tls:-0}" = 1 ] && echo --tls)
    /usr/bin/time -f "%U %S" -o "$out/time" timeout 150 env ${display:+DISPLAY=$display} "$client" "$@" \
      --exit-after-frames "$count" --exit-after 120 "$out/s.zrp" > /dev/null 2> "$out/client.err" || true
    wait "$server_pid" || true
    local took
    took=$(sed -n 's/.*replay end ms=\([0-9]*\).*/\1/p' "$out/replay.log")
    if [ -z "$took" ] || grep -q "replay refused" "$out/replay.log"; then
      echo "$label: the replay did not run (see $out/replay.log)"; tail -5 "$out/replay.log"; return
    fi
    read -r user sys < "$out/time"
    ms+=("$took")
    cpu+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print (u + s) * 1000 }')")
  done
  local t c
  t=$(median "${ms[@]}"); c=$(median "${cpu[@]}")
  [ "$t" -gt 0 ] || t=1
  awk -v label="$label" -v n="$count" -v b="$bytes" -v t="$t" -v c="$c" -v l="$limit_ms" -v runs="$runs" 'BEGIN {
    printf "%-28s %7.0f updates/s %8.1f MB/s %6.2f ms CPU/update  ratio %.2f (limits %.0f ms / client %d ms; median of %d)\n",
      label, n * 1000 / t, b / 1000 / t, c / n, l / t, l, t, runs }'
}

# bench RECORDING-LABEL: the limits and every replay of $out/rec
bench() {
  "$limits" "$out/rec" > "$out/limits"
  echo "=== $1: $(sed 's/ (touch.*//; s/^limits //' "$out/limits")"
  tls=0 replay "headless, loopback" "$out/rec" ""
  tls=1 replay "headless, TLS" "$out/rec" ""
  if command -v Xvfb > /dev/null; then
    local display
    display=$(free_display)
    start_xvfb "$display" 1920x1200x24
    xvfb_pid=$!
    tls=0 replay "windowed (Xvfb), loopback" "$out/rec" "$display"
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}

echo "target: ratio >= 0.7 (the machine's load counts against the client's side only)"

# record_generated UPDATES [SERVER-OPTIONS...]: the generated desktop, recorded into $out/rec.
record_generated() {
  local count=$1; shift
  start_server record --geometry 1920x1080 --frames "$count" --frame-interval 1 --record "$out/rec" "$@"
  "$client" --headless --exit-after-frames $((count + 1)) --exit-after 120 "$out/s.zrp" > /dev/null 2>&1 || true
  wait "$server_pid" || true
  grep -q "recording written" "$out/record.log" || { echo "no recording made ($*)"; tail -3 "$out/record.log"; return 1; }
}

# The generated desktop: a full screen, then the moving box's tiles, raw pixels in COMPSTD.
record_generated "$updates" || exit 1
bench "generated desktop, 1920x1080, raw"
# The same desktop as drawing requests, the whole screen in every one: JFIF frames, which
# the client decodes on its worker threads, and a VP8 video.
if record_generated 120 --compform 101; then
  bench "generated desktop, 1920x1080, JFIF drawing requests"
fi
if record_generated 300 --compform 201; then
  bench "generated desktop, 1920x1080, VP8 video"
fi

# A real X desktop, 10 s of each scene.
if record_x_desktop 10 scrolling; then
  bench "X desktop, scrolling terminal, 1920x1080, raw"
  # The user's keys and pointer while this replay keeps the client as busy as it can be.
  if [ -x "$build/bench/input_latency_bench" ]; then
    echo "=== input latency while the scrolling terminal is replayed again and again"
    "$build/bench/input_latency_bench" --replay "$out/rec" || true
  fi
fi
if record_x_desktop 10 dragged; then
  bench "X desktop, dragged window, 1920x1080, raw"
fi
