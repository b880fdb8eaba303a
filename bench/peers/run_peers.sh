#!/usr/bin/env bash
# Peer run: our renderer next to headless Chromium's screencast, one after the other on the same
# page (bench/common/playing_page.sh: animates at 30 fps and plays a 437 Hz tone) and the same
# size, 1280x720 then 1920x1080. For each it prints the CPU time (user + system) of the whole
# process tree per delivered frame, the frame rate, and ours/Chromium.
#   ours:     load_host + tavrimon-browser; frames are raw BGRA in shared memory, audio is
#             delivered to the host.
#   chromium: chromium_screencast.py, Page.startScreencast over the DevTools pipe; frames are
#             JPEG (quality 80) in base64, so JPEG encoding is part of its cost. Audio is not
#             muted: the page's WebAudio runs and plays into Chromium's null sink (no sound
#             device), but goes to nobody.
# The readers (load_host, the Python script) are not counted on either side.
# Run by hand (needs root for the private network namespace; installs chromium when missing):
#   bench/peers/run_peers.sh [SECONDS] [BUILD_DIR]      e.g. bench/peers/run_peers.sh 30 build
set -euo pipefail
seconds=${1:-30}
build=$(realpath "${2:-build}")
bin="$build/bin"
here=$(cd "$(dirname "$0")" && pwd)
fps=30
[ -x "$bin/load_host" ] || { echo "build load_host first: cmake --build $build --target load_host" >&2; exit 1; }
[ -x "$bin/tavrimon-browser" ] || { echo "no tavrimon-browser in $bin" >&2; exit 1; }
if [ ! -x /usr/lib/chromium/chromium ] && [ ! -x /usr/bin/chromium ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "installing chromium (apt-get install -y chromium)"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium > /dev/null
  else
    echo "chromium is missing: as root, apt-get install -y chromium" >&2
    exit 1
  fi
fi

# Everything below runs in a network namespace of its own.
# shellcheck source=../common/private_network.sh
source "$here/../common/private_network.sh"
run_in_private_network "$@"

site=$(mktemp -d)
server=""
trap 'if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi; rm -rf "$site"' EXIT
# shellcheck source=../common/playing_page.sh
source "$here/../common/playing_page.sh"

# Value of KEY in a "key=value ..." line.
field() { tr ' ' '\n' <<< "$2" | sed -n "s/^$1=//p"; }

echo "peers: page at $fps fps with sound, ${seconds}s each, $(nproc) cores, $(/usr/lib/chromium/chromium --version 2>/dev/null || chromium --version 2>/dev/null)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
for size in 1280x720 1920x1080; do
  width=${size%x*}
  height=${size#*x}
  serve_playing_page "$site" "$width" "$fps"
  url="http://127.0.0.1:$port/page.html"

  ours=$("$bin/load_host" "$bin/tavrimon-browser" $((9600000 + $$ % 100000)) "$url" \
    "$width" "$height" "$seconds" 2> "$site/ours.err") || true
  peer=$(python3 "$here/chromium_screencast.py" "$url" "$width" "$height" "$seconds" 2> "$site/peer.err") || true
  kill "$server" 2>/dev/null || true
  server=""

  echo "$size"
  echo "  ours:     ${ours:-no figures}"
  echo "  chromium: ${peer:-no figures}"
  if [ -z "$ours" ] || [ -z "$peer" ]; then
    grep -v "D-Bus\|cannot open display\|^$" "$site/ours.err" "$site/peer.err" | tail -5 || true
    status=1
    continue
  fi
  # Per frame, and as cores kept busy (tree CPU seconds per wall second) since the rates differ.
  awk -v o="$(field cpu_per_frame_ms "$ours")" -v of="$(field fps "$ours")" \
    -v oc="$(field tree_cpu_s "$ours")" -v ow="$(field wall_s "$ours")" \
    -v c="$(field cpu_per_frame_ms "$peer")" -v cf="$(field fps "$peer")" \
    -v cc="$(field tree_cpu_s "$peer")" -v cw="$(field wall_s "$peer")" \
    'BEGIN { printf "  ours %.2f ms CPU/frame at %.2f fps (%.2f cores), chromium %.2f ms at %.2f fps (%.2f cores), ours/chromium %.2f\n",
                    o, of, oc / ow, c, cf, cc / cw, (c > 0 ? o / c : 0) }'
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
