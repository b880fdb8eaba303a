# Sourced by the load, soak and peer scripts: serves, from 127.0.0.1, a page that animates at a
# given rate and plays a steady 437 Hz tone (load_host checks the tone for breaks).
#   serve_playing_page SITE_DIR WIDTH FPS   sets $port and $server (the server's pid)
serve_playing_page() {
  local site=$1 width=$2 fps=$3
  cat > "$site/page.html" <<HTML
<!doctype html><style>html, body { margin: 0; overflow: hidden; }
#box { position: absolute; width: 200px; height: 200px; background: rgb(250, 128, 1); }</style>
<div id="box"></div><script>
const ctx = new AudioContext();
const osc = ctx.createOscillator();
osc.frequency.value = 437;
osc.connect(ctx.destination);
ctx.resume().then(() => osc.start());
let n = 0;
setInterval(() => {
  n += 1;
  document.body.style.background = 'rgb(' + (n % 256) + ', 80, 160)';
  document.getElementById('box').style.left = (n * 7) % ($width - 200) + 'px';
}, 1000 / $fps);
</script>
HTML
  port=$((20000 + RANDOM % 20000))
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
  server=$!
  sleep 1
}
