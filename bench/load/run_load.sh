#!/usr/bin/env bash
# Load run: N hosts side by side, each with its own tavrimon-browser showing a page that
# changes 30 times a second and plays a tone, for a while; prints each host's figures and the
# machine's load. Run by hand (needs root for the private network namespace):
#   bench/load/run_load.sh [RENDERERS] [WIDTH] [HEIGHT] [SECONDS] [FPS] [BUILD_DIR]
# e.g. bench/load/run_load.sh 4 1280 720 120 30 build
set -euo pipefail
renderers=${1:-4}
width=${2:-1280}
height=${3:-720}
seconds=${4:-120}
fps=${5:-30}
build=$(realpath "${6:-build}")
bin="$build/bin"
[ -x "$bin/load_host" ] || { echo "build load_host first: cmake --build $build --target load_host" >&2; exit 1; }

# Everything below runs in a network namespace of its own.
# shellcheck source=../common/private_network.sh
source "$(dirname "$0")/../common/private_network.sh"
run_in_private_network "$@"

site=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$site"' EXIT
# shellcheck source=../common/playing_page.sh
source "$(dirname "$0")/../common/playing_page.sh"
serve_playing_page "$site" "$width" "$fps"

echo "load: $renderers renderers, ${width}x$height, page at $fps fps with sound, ${seconds}s, $(nproc) cores"
base=$((9000000 + $$ * 8))
pids=()
for i in $(seq 1 "$renderers"); do
  "$bin/load_host" "$bin/tavrimon-browser" $((base + i)) "http://127.0.0.1:$port/page.html" \
    "$width" "$height" "$seconds" > "$site/host$i.out" 2> "$site/host$i.err" &
  pids+=($!)
done
read -r _ _ _ _ idle0 _ < <(head -1 /proc/stat | awk '{print $1,$2,$3,$4,$5,$6}')
total0=$(head -1 /proc/stat | awk '{s=0; for (i=2; i<=NF; i++) s+=$i; print s}')
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
read -r _ _ _ _ idle1 _ < <(head -1 /proc/stat | awk '{print $1,$2,$3,$4,$5,$6}')
total1=$(head -1 /proc/stat | awk '{s=0; for (i=2; i<=NF; i++) s+=$i; print s}')

for i in $(seq 1 "$renderers"); do
  cat "$site/host$i.out"
  grep -v "D-Bus\|cannot open display\|^$" "$site/host$i.err" || true
done
awk -v i0="$idle0" -v i1="$idle1" -v t0="$total0" -v t1="$total1" \
  'BEGIN { printf "machine busy over the run (all processes, warm-up included): %.0f %%\n", 100 * (1 - (i1 - i0) / (t1 - t0)) }'
awk -v want="$fps" -v secs="$seconds" '
  /^id=/ { for (f = 1; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
           n++; fps += v["fps"]; audio += v["audio_s"] / v["wall_s"]
           if (v["fps"] < want * 0.9) slow++
           breaks += v["audio_breaks"]
           if (v["max_audio_gap_ms"] > gap) gap = v["max_audio_gap_ms"] }
  END { if (n == 0) { print "no host finished"; exit 1 }
        printf "mean fps %.2f (page %d; %d of %d hosts below 90 %%), audio delivered %.2f %% of wall time, %d breaks in the tone, worst gap between audio blocks %.1f ms\n",
               fps / n, want, slow, n, 100 * audio / n, breaks, gap }' "$site"/host*.out
exit "$failed"
