# What the replay benchmarks share: a temporary folder with the demo's settings, free X
# displays, an Xvfb, the test server started with a connection file for it, and a recording
# of a real X desktop with a scrolling terminal. Sourced with $build set; sets $client,
# $server, $limits and $out (removed on exit).
client="$build/app/corvane"
server="$build/tools/testserver/corvane-testserver"
limits="$build/bench/replay_limits_bench"
out=$(mktemp -d /tmp/corvane-replay.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$out"' EXIT
mkdir -p "$out/docs" "$out/config"
# The demo's site file, without the dialogs that would wait for a person in the window.
sed -e "s/^\(SessionLoginDialog *\)[0-9]*/\10/" -e "s/^\(CloseDialog *\)[0-9]*/\10/" data/qel.ini > "$out/qel.ini"
printf '[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=%s\nINSTALLPATH=%s\n' \
  "$out/qel.ini" "$PWD/data" > "$out/registry"
export CORVANE_REGISTRY="$out/registry" XDG_DOCUMENTS_DIR="$out/docs" XDG_CONFIG_HOME="$out/config"

free_display() {
  for n in $(seq 170 210); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then echo ":$n"; return; fi
  done
}
start_xvfb() {  # display, screen size
  Xvfb "$1" -screen 0 "$2" -nolisten tcp > /dev/null 2>&1 &
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${1#:}" ] && break; sleep 0.05; done
}

start_server() {  # log name, options...; writes the connection file
  local name=$1; shift
  "$server" --port 0 --once --exit-after "${server_seconds:-300}" --log "$out/$name.log" "$@" > "$out/port" 2> "$out/$name.err" &
  server_pid=$!
  for _ in $(seq 100); do grep -q listening "$out/port" 2>/dev/null && break; sleep 0.05; done
  local port
  port=$(awk '{print $3}' "$out/port")
  sed -e "s/^\(DisplayServerPort *\)[0-9]*/\1$port/" -e "s/^\(DisplayWidth *\)[0-9]*/\11920/" \
      -e "s/^\(DisplayHeight *\)[0-9]*/\11080/" data/demo.zrp > "$out/s.zrp"
  if [ "${tls:-0}" = 1 ]; then
    sed -i "s/^\(ProtocolType *\)[0-9]*/\11/" "$out/s.zrp"
    printf 'TlsTrust none\r\n' >> "$out/s.zrp"
  fi
}

# record_x_desktop SECONDS [SCENE]: records a 1920x1080 Xvfb into $out/rec; false when Xvfb
# or xterm is missing or no recording was made. Scenes: scrolling (a terminal scrolling a
# directory listing, the default), dragged (a terminal with text and a clock dragged around
# the screen, as a person drags a window by its title).
record_x_desktop() {
  command -v Xvfb > /dev/null && command -v xterm > /dev/null || return 1
  local scene=${2:-scrolling} desk desk_pid pids=()
  desk=$(free_display)
  start_xvfb "$desk" 1920x1080x24
  desk_pid=$!
  if [ "$scene" = dragged ]; then
    DISPLAY="$desk" xterm -geometry 100x30+100+100 -title dragged -e sh -c 'ls -l /usr/bin | head -40; sleep 600'       > /dev/null 2>&1 &
    pids+=($!)
    if command -v xclock > /dev/null; then
      DISPLAY="$desk" xclock -geometry 200x200+1500+100 -update 1 > /dev/null 2>&1 &
      pids+=($!)
    fi
    sleep 1
    # Round and round, 4 pixels a step, 60 steps a second: the window's old and new places
    # change in every update.
    DISPLAY="$desk" sh -c 'w=$(xdotool search --name "^dragged$" | head -1); i=0
      while :; do i=$(( (i + 1) % 360 )); x=$(( 600 + (i < 180 ? i : 360 - i) * 4 ));
        y=$(( 300 + (i < 90 || i > 270 ? 0 : 200) )); xdotool windowmove "$w" "$x" "$y"; sleep 0.016; done'       > /dev/null 2>&1 &
    pids+=($!)
  else
    DISPLAY="$desk" xterm -geometry 200x60+0+0 -e sh -c 'while :; do ls -lR /usr; done' > /dev/null 2>&1 &
    pids+=($!)
    sleep 1
  fi
  start_server record --x11 "$desk" --frame-interval 16 --record "$out/rec"
  "$client" --headless --exit-after "$1" "$out/s.zrp" > /dev/null 2>&1 || true
  wait "$server_pid" || true
  kill "${pids[@]}" "$desk_pid" 2>/dev/null || true
  wait "${pids[@]}" "$desk_pid" 2>/dev/null || true
  if ! grep -q "recording written" "$out/record.log"; then
    echo "X desktop ($scene): no recording made"; tail -3 "$out/record.log"
    return 1
  fi
}
