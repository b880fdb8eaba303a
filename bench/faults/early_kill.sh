#!/usr/bin/env bash
# Whether the renderer survives its web process dying soon after it started: for each delay,
# tavrimon-host shows a page and sends "update" once a second (each update makes a new browser,
# and with it a new web process), while every web process that appears is killed DELAY ms after
# it was first seen. Prints the renderer's exit status per delay (0: it carried on until "quit";
# 133: WebKit's g_error in readPIDFromPeer). Run by hand:
#   bench/faults/early_kill.sh [BUILD_DIR] [DELAY_MS ...]
# e.g. bench/faults/early_kill.sh build 0 50 100 200 400
set -euo pipefail
build=$(realpath "${1:-build}")
shift || true
delays=("$@")
[ ${#delays[@]} -gt 0 ] || delays=(0 20 50 100 200 400)
host="$build/bin/tavrimon-host"
[ -x "$host" ] || { echo "no tavrimon-host in $build/bin" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Kills each new web process DELAY ms after it is first seen, while the file $out/killing is there.
kill_new_web_processes() {
  local delay=$1
  declare -A seen=()
  while [ -e "$out/killing" ]; do
    for pid in $(pgrep -x WebKitWebProces || true); do
      if [ -z "${seen[$pid]:-}" ]; then
        seen[$pid]=1
        (sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"; kill -9 "$pid" 2>/dev/null) &
      fi
    done
    sleep 0.001
  done
}

for delay in "${delays[@]}"; do
  touch "$out/killing"
  kill_new_web_processes "$delay" &
  killer=$!
  # tavrimon-host ends with 7 when the renderer ended early: not a failure of this script.
  status=$( (for _ in 1 2 3 4 5 6 7 8; do echo update; sleep 1; done; echo quit) |
    "$host" --interactive --url "data:text/html,hello" --size 200x100 --out "$out/rec" 2>&1 |
    sed -n 's/.*renderer exited early with code \([0-9]*\).*/\1/p; s/^renderer exit code: \([0-9]*\)$/\1/p' |
    tail -n 1 || true)
  rm -f "$out/killing"
  wait "$killer" 2>/dev/null || true
  echo "delay_ms=$delay renderer_exit=${status:-unknown}"
done
