#!/usr/bin/env bash
# Soak run: one host with its own tavrimon-browser showing a page that animates and plays a tone
# without pause, for a long while (default 30 minutes at 1920x1080, page at 30 fps). Every
# SAMPLE seconds it records the resident memory and the CPU time of the renderer's whole process
# tree (tavrimon-browser, WebKit's web and network processes, the private X server, anything
# else below the renderer). The host side is bench/load's load_host, which reads every frame and
# audio block and reports frame rate, frame gaps, the delay from paint to host, audio delivered and
# breaks in the page's tone, for the whole run and for every minute of it.
# Prints: memory growth after the first minute (from launch), audio breaks and worst audio gap, and
# the trend between the first and the last window (5 minutes, or a quarter of a short run) of
# the tree's CPU per second, the frame rate, the worst frame gap and the paint-to-host delay.
# Run by hand (needs root for the private network namespace):
#   bench/soak/run_soak.sh [SECONDS] [WIDTH] [HEIGHT] [FPS] [BUILD_DIR] [SAMPLE]
# e.g. bench/soak/run_soak.sh 1800 1920 1080 30 build 10
# The samples are kept in a CSV file (path printed at the end) for plotting.
set -euo pipefail
seconds=${1:-1800}
width=${2:-1920}
height=${3:-1080}
fps=${4:-30}
build=$(realpath "${5:-build}")
sample=${6:-10}
# load_host's figures come per minute, or per tenth of a run shorter than 10 minutes.
interval=$(( seconds >= 600 ? 60 : (seconds >= 10 ? seconds / 10 : 1) ))
bin="$build/bin"
[ -x "$bin/load_host" ] || { echo "build load_host first: cmake --build $build --target load_host" >&2; exit 1; }
[ -x "$bin/tavrimon-browser" ] || { echo "no tavrimon-browser in $bin" >&2; exit 1; }

# Everything below runs in a network namespace of its own.
# shellcheck source=../common/private_network.sh
source "$(dirname "$0")/../common/private_network.sh"
run_in_private_network "$@"

site=$(mktemp -d)
samples="${TMPDIR:-/tmp}/tavrimon-soak-$(date -u +%Y%m%dT%H%M%SZ).csv"
server=""
host=""
cleanup() {
  if [ -n "$host" ]; then kill "$host" 2>/dev/null || true; fi
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
  rm -rf "$site"
}
trap cleanup EXIT

# shellcheck source=../common/playing_page.sh
source "$(dirname "$0")/../common/playing_page.sh"
serve_playing_page "$site" "$width" "$fps"

# Pids of a process and all its descendants, one a line.
tree() {
  ps -eo pid=,ppid= | awk -v root="$1" '
    { parent[$1] = $2; pids[NR] = $1 }
    END { keep[root] = 1; changed = 1
          while (changed) { changed = 0
            for (i in pids) { p = pids[i]; if (!(p in keep) && (parent[p] in keep)) { keep[p] = 1; changed = 1 } } }
          for (p in keep) print p }'
}

# "rss_kb cpu_ticks processes" summed over the tree of $1.
tree_usage() {
  local rss=0 ticks=0 count=0 pid line
  for pid in $(tree "$1"); do
    line=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || continue
    [ -n "$line" ] || continue
    rss=$((rss + line))
    # Fields after the command name (which may hold spaces): utime and stime are 14 and 15.
    line=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null) || continue
    ticks=$((ticks + $(echo "$line" | awk '{ print $12 + $13 }')))
    count=$((count + 1))
  done
  echo "$rss $ticks $count"
}

echo "soak: ${width}x$height, page at $fps fps with sound, ${seconds}s measured, sample every ${sample}s, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
id=$((9500000 + $$ % 100000))
"$bin/load_host" "$bin/tavrimon-browser" "$id" "http://127.0.0.1:$port/page.html" \
  "$width" "$height" "$seconds" "$interval" > "$site/host.out" 2> "$site/host.err" &
host=$!
launched=$(date +%s.%N)

echo "t_s,rss_mb,cpu_s,processes" > "$samples"
hz=$(getconf CLK_TCK)
renderer=""
while kill -0 "$host" 2>/dev/null; do
  if [ -z "$renderer" ]; then
    renderer=$(ps -o pid= --ppid "$host" | head -1 | tr -d ' ')
  fi
  if [ -n "$renderer" ] && [ -d "/proc/$renderer" ]; then
    read -r rss ticks count < <(tree_usage "$renderer")
    if [ -z "${named:-}" ] && [ "$count" -ge 2 ]; then
      named=1
      echo "renderer tree at the first sample: $(ps -o comm= -p "$(tree "$renderer" | paste -sd,)" | sort | paste -sd' ')"
    fi
    now=$(date +%s.%N)
    awk -v t="$now" -v t0="$launched" -v r="$rss" -v c="$ticks" -v hz="$hz" -v n="$count" \
      'BEGIN { printf "%.1f,%.1f,%.2f,%d\n", t - t0, r / 1024, c / hz, n }' >> "$samples"
  fi
  # Sleep in short steps so the end of the host is noticed quickly.
  for _ in $(seq 1 $((sample * 5))); do
    kill -0 "$host" 2>/dev/null || break
    sleep 0.2
  done
done
status=0
wait "$host" || status=$?
host=""

grep -v "^interval" "$site/host.out" || true
grep -v "D-Bus\|cannot open display\|^$" "$site/host.err" || true
[ "$status" = 0 ] || echo "load_host exited with status $status"

# Memory: growth from the first sample at or after one minute to the last sample; the trend
# window is 5 minutes, or a quarter of a run shorter than 20 minutes.
awk -F, -v secs="$seconds" '
  BEGIN { n = 0 }
  NR == 1 || $4 < 2 { next }  # header, and samples taken before the engine was up
  { t[n] = $1; rss[n] = $2; cpu[n] = $3; n++ }
  END {
    if (n < 2) { print "too few samples"; exit 1 }
    base = -1
    for (i = 0; i < n; i++) if (t[i] >= 60) { base = i; break }
    peak = 0
    for (i = 0; i < n; i++) if (rss[i] > peak) peak = rss[i]
    if (base < 0 || base == n - 1) {
      printf "rss: run shorter than a minute after warm-up; first %.1f MB, last %.1f MB, peak %.1f MB\n", rss[0], rss[n - 1], peak
    } else {
      printf "rss after the first minute: %.1f MB at %.0f s -> %.1f MB at %.0f s: growth %+.2f %% (peak %.1f MB)\n",
             rss[base], t[base], rss[n - 1], t[n - 1], 100 * (rss[n - 1] - rss[base]) / rss[base], peak
    }
    win = secs >= 1200 ? 300 : secs / 4
    # First window starts after the first minute; the last ends at the last sample.
    s0 = base < 0 ? 0 : base
    for (e0 = s0; e0 < n - 1 && t[e0] - t[s0] < win; e0++) {}
    for (s1 = n - 1; s1 > 0 && t[n - 1] - t[s1] < win; s1--) {}
    if (e0 > s0 && n - 1 > s1 && s1 >= e0 - 1) {
      a = (cpu[e0] - cpu[s0]) / (t[e0] - t[s0]); b = (cpu[n - 1] - cpu[s1]) / (t[n - 1] - t[s1])
      printf "tree cpu (cores busy): first window %.0f-%.0f s %.3f, last window %.0f-%.0f s %.3f, last/first %.3f\n",
             t[s0], t[e0], a, t[s1], t[n - 1], b, (a > 0 ? b / a : 0)
    } else {
      print "tree cpu trend: run too short for two windows"
    }
  }' "$samples"
awk -v want="$fps" '
  /^id=/ { for (f = 1; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
           printf "frames: %.2f fps (page %d, %s), worst frame gap %.1f ms, %.2f ms tree CPU per frame\n",
                  v["fps"], want, (v["fps"] >= want * 0.9 ? "within 10 %" : "BELOW 90 %"), v["max_frame_gap_ms"], v["cpu_per_frame_ms"]
           printf "paint to host: median %.3f ms, p99 %.3f ms, max %.3f ms over %d frames\n",
                  v["paint_to_host_median_ms"], v["paint_to_host_p99_ms"], v["paint_to_host_max_ms"], v["paint_matched"]
           printf "audio: %.2f s of %.2f s wall (%.2f %%), %d breaks in the tone, worst gap between blocks %.1f ms\n",
                  v["audio_s"], v["wall_s"], 100 * v["audio_s"] / v["wall_s"], v["audio_breaks"], v["max_audio_gap_ms"]
           printf "audio blocks: %d written by the renderer, %d read by the host\n",
                  v["audio_blocks_written"], v["audio_blocks_read"]
           found = 1 }
  END { if (!found) { print "the host printed no figures"; exit 1 } }' "$site/host.out"
# The host's per-interval lines: kept next to the samples, and the first window against the last.
intervals="${samples%.csv}-intervals.txt"
grep "^interval" "$site/host.out" > "$intervals" || true
awk -v secs="$seconds" '
  BEGIN { n = 0 }
  { for (f = 2; f <= NF; f++) { split($f, kv, "="); if (kv[2] != "") v[kv[1]] = kv[2] }
    t[n] = v["t_s"]; fps[n] = v["fps"]; gap[n] = v["max_frame_gap_ms"]; p2h[n] = v["paint_to_host_median_ms"]
    brk[n] = v["audio_breaks"]; n++ }
  END {
    if (n < 2) { print "per-interval trend: too few intervals"; exit }
    win = secs >= 1200 ? 300 : secs / 4
    for (i = 0; i < n; i++) if (t[i] < win) { a++; af += fps[i]; ap += p2h[i]; if (gap[i] > ag) ag = gap[i] }
    for (i = 0; i < n; i++) if (t[i] >= t[n - 1] - win + 1) { b++; bf += fps[i]; bp += p2h[i]; if (gap[i] > bg) bg = gap[i] }
    for (i = 0; i < n; i++) if (brk[i] > 0) broken = broken " " t[i] "s:" brk[i]
    printf "per-interval trend, first window against last: fps %.2f -> %.2f, worst frame gap %.1f -> %.1f ms, paint-to-host median %.3f -> %.3f ms\n",
           af / a, bf / b, ag, bg, ap / a, bp / b
    printf "intervals with audio breaks:%s\n", (broken == "" ? " none" : broken)
  }' "$intervals"
echo "per-interval figures: $intervals"
echo "samples: $samples"
exit "$status"
