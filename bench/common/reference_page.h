// The benchmarks' reference page: four boxes turning and a line of text running across a
// gradient, changing every frame.
#pragma once

inline constexpr char kReferencePage[] = R"(<!doctype html><meta charset=utf-8>
<style>
html,body{margin:0;height:100%;overflow:hidden;font:28px sans-serif;color:#fff;
  background:linear-gradient(135deg,#203a43,#2c5364)}
.box{position:absolute;width:120px;height:120px;border-radius:16px;opacity:.85;
  animation:spin 3s linear infinite}
@keyframes spin{from{transform:translate(0,0) rotate(0)}50%{transform:translate(300px,120px) rotate(180deg)}
  to{transform:translate(0,0) rotate(360deg)}}
#ticker{position:absolute;bottom:40px;left:0;white-space:nowrap;animation:tick 8s linear infinite}
@keyframes tick{from{transform:translateX(100vw)}to{transform:translateX(-100%)}}
</style>
<div class=box style="left:5%;top:10%;background:#e74c3c"></div>
<div class=box style="left:35%;top:15%;background:#f1c40f;animation-delay:-1s"></div>
<div class=box style="left:60%;top:30%;background:#2ecc71;animation-delay:-2s"></div>
<div class=box style="left:20%;top:50%;background:#9b59b6;animation-delay:-.5s"></div>
<div id=ticker>Reference page - live text scrolling across the source, frame after frame</div>
)";

// A canvas that 60 circles cross, drawn in requestAnimationFrame callbacks: a page whose work
// is its own script, once per animation frame.
inline constexpr char kCanvasPage[] = R"(<!doctype html><meta charset=utf-8>
<style>html,body{margin:0;height:100%;overflow:hidden;background:#102030}</style>
<canvas id=c></canvas>
<script>
const c = document.getElementById('c'), g = c.getContext('2d');
c.width = innerWidth; c.height = innerHeight;
const dots = Array.from({length: 60}, (_, i) => ({
  x: (i * 97) % c.width, y: (i * 53) % c.height, dx: 2 + i % 5, dy: 1 + i % 3,
  r: 12 + i % 20, hue: (i * 37) % 360}));
function step() {
  g.fillStyle = '#102030'; g.fillRect(0, 0, c.width, c.height);
  for (const d of dots) {
    d.x += d.dx; d.y += d.dy;
    if (d.x < 0 || d.x > c.width) d.dx = -d.dx;
    if (d.y < 0 || d.y > c.height) d.dy = -d.dy;
    g.beginPath(); g.arc(d.x, d.y, d.r, 0, 2 * Math.PI);
    g.fillStyle = `hsl(${d.hue},70%,55%)`; g.fill();
  }
  requestAnimationFrame(step);
}
requestAnimationFrame(step);
</script>
)";
