#!/usr/bin/env bash
# Capacity: how many 720p30 sources with sound this machine carries. For each of two pages -
# "animation" (the load run's full-screen animation) and "overlay" (the bundled demo overlay,
# with a steady tone added) - it runs 1, 2, 3, ... hosts side by side, each with its own
# tavrimon-browser, for SECONDS each, and stops at the first count where some host held less
# than MIN_FPS frames a second or heard a break in its tone. Prints one line per run and, per
# page, "capacity page=.. sources=N" (the largest count that passed). Run by hand (needs root
# for the private network namespace):
#   bench/load/capacity.sh [BUILD_DIR] [SECONDS] [MAX_SOURCES] [MIN_FPS] [PAGES] [FIRST]
# e.g. bench/load/capacity.sh build 30 8 29 "animation overlay"
# (FIRST, default 1: the count to start from, taken to pass when it is more than 1)
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-30}
max_sources=${3:-8}
min_fps=${4:-29}
pages=${5:-animation overlay}
first=${6:-1}
bin="$build/bin"
[ -x "$bin/load_host" ] || { echo "build load_host first: cmake --build $build --target load_host" >&2; exit 1; }
width=1280
height=720
fps=30

# Everything below runs in a network namespace of its own.
# shellcheck source=../common/private_network.sh
source "$(dirname "$0")/../common/private_network.sh"
run_in_private_network "$@"

site=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$site"' EXIT
# shellcheck source=../common/playing_page.sh
source "$(dirname "$0")/../common/playing_page.sh"
serve_playing_page "$site" "$width" "$fps"

# The demo overlay, and the same tone as the animation page so that load_host can check it.
demo="$(dirname "$0")/../../demo"
mkdir -p "$site/overlay"
cp "$demo"/* "$site/overlay/"
sed -i 's|</body>|<script>const toneContext = new AudioContext(); const tone = toneContext.createOscillator(); tone.frequency.value = 437; tone.connect(toneContext.destination); toneContext.resume().then(() => tone.start());</script></body>|' \
  "$site/overlay/index.html"
grep -q "toneContext" "$site/overlay/index.html" || { echo "could not add the tone to the overlay" >&2; exit 1; }

# Runs N hosts on PAGE_URL; true when every one held MIN_FPS and an unbroken tone.
run() {
  local name=$1 url=$2 sources=$3
  local base=$((7000000 + $$ * 16))
  local pids=()
  rm -f "$site"/cap*.out
  for i in $(seq 1 "$sources"); do
    "$bin/load_host" "$bin/tavrimon-browser" $((base + i)) "$url" "$width" "$height" "$seconds" \
      > "$site/cap$i.out" 2>/dev/null &
    pids+=($!)
  done
  local failed=0
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  awk -v want="$min_fps" -v name="$name" -v n="$sources" -v failed="$failed" '
    /^id=/ { for (f = 1; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
             hosts++; fps = v["fps"] + 0; breaks += v["audio_breaks"]
             if (hosts == 1 || fps < worst) worst = fps
             cpu += v["cpu_per_frame_ms"] }
    END { ok = failed == 0 && hosts == n && worst >= want && breaks == 0
          printf "page=%s sources=%d worst_fps=%.2f tone_breaks=%d cpu_per_frame_ms=%.2f %s\n",
                 name, n, worst, breaks, hosts ? cpu / hosts : 0, ok ? "pass" : "fail"
          exit ok ? 0 : 1 }' "$site"/cap*.out && return 0
  # What failed, host by host.
  awk '/^id=/ { for (f = 1; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
                printf "  host fps=%s audio_breaks=%s max_audio_gap_ms=%s audio_blocks_written=%s audio_blocks_read=%s\n",
                       v["fps"], v["audio_breaks"], v["max_audio_gap_ms"], v["audio_blocks_written"],
                       v["audio_blocks_read"] }' "$site"/cap*.out
  return 1
}

echo "capacity: ${width}x$height at $fps fps with sound, ${seconds}s per run, at least $min_fps fps, $(nproc) cores"
for page in $pages; do
  case $page in
    animation) url="http://127.0.0.1:$port/page.html" ;;
    overlay) url="http://127.0.0.1:$port/overlay/index.html" ;;
    *) echo "unknown page $page" >&2; exit 2 ;;
  esac
  capacity=$((first - 1))
  for sources in $(seq "$first" "$max_sources"); do
    if run "$page" "$url" "$sources"; then capacity=$sources; else break; fi
  done
  echo "capacity page=$page sources=$capacity"
done
