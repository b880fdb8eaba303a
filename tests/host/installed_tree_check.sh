#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks that the installed tree works on
# its own: tavrimon-host finds the installed demo page and records it (driving the fake
# renderer), and a host application builds against the SDK through pkg-config and runs.
#   installed_tree_check.sh BUILD_DIR FAKE_RENDERER CONSUMER_SOURCE [SANITIZERS]
set -euo pipefail
build=$1
fake=$2
consumer=$3
# A tree built with sanitizers installs a library that needs their run time.
extra=()
if [ -n "${4:-}" ]; then extra=(-fsanitize="$4"); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/tavrimon-host"
test -f "$work/prefix/share/tavrimon/demo/index.html"

# No --url: the host must serve the demo page from the installed share folder.
"$work/prefix/bin/tavrimon-host" --browser "$fake" --size 320x180 --seconds 1 \
  --out "$work/out" >"$work/summary.txt"
for f in recording.mp4 audio.wav last.png contact.png; do
  test -s "$work/out/$f" || { echo "missing $f"; exit 1; }
done

# The prefix is moved before use, so nothing may point back at where it was installed.
mv "$work/prefix" "$work/moved"
pc=$(find "$work/moved" -name tavrimon-host.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir tavrimon-host)
"${CXX:-c++}" "$consumer" -o "$work/consumer" $(pkg-config --cflags --libs tavrimon-host) "${extra[@]}" \
  -Wl,-rpath,"$libdir"
"$work/consumer" $((RANDOM + 100000)) | grep -q "^sdk [0-9.]* ok$"
echo "installed tree ok"
