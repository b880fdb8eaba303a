// Pages that keep painting, so frames keep flowing while a test watches.
#pragma once

// A background that changes every animation frame, and a steady 440 Hz tone.
inline const char* kPlayingPage = R"html(<!doctype html><style>html, body { margin: 0; }</style>
<script>
const ctx = new AudioContext();
const osc = ctx.createOscillator();
osc.frequency.value = 440;
osc.connect(ctx.destination);
ctx.resume().then(() => osc.start());
let n = 0;
function step() { document.body.style.background = `rgb(${n % 256}, 80, 160)`; n += 3;
                  requestAnimationFrame(step); }
requestAnimationFrame(step);
</script>)html";

// The same animation without sound.
inline const char* kAnimatedPage = R"html(<!doctype html><style>html, body { margin: 0; }</style>
<script>
let n = 0;
function step() { document.body.style.background = `rgb(${n % 256}, 80, 160)`; n += 3;
                  requestAnimationFrame(step); }
requestAnimationFrame(step);
</script>)html";
