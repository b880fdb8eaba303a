// The demo overlay's moving parts: the clock, what the renderer offers the page
// (window.tavrimon and page visibility), and a short tone so the recording has sound.
"use strict";

function two(n) {
  return (n < 10 ? "0" : "") + n;
}

function tick() {
  const now = new Date();
  document.getElementById("clock").textContent =
    two(now.getHours()) + ":" + two(now.getMinutes()) + ":" + two(now.getSeconds());
}
tick();
setInterval(tick, 250);

// The script bridge object the renderer installs in every page.
function showBridge() {
  const bridge = window.tavrimon;
  document.getElementById("bridge").textContent =
    bridge && typeof bridge.pluginVersion === "string"
      ? "window.tavrimon: " + bridge.pluginVersion
      : "window.tavrimon: absent (not rendered by tavrimon-browser)";
}
showBridge();

// Page visibility as the renderer shows it; every change is counted.
let visibilityChanges = 0;
function showVisibility() {
  document.getElementById("visibility").textContent =
    "visibility: " + document.visibilityState + (document.hidden ? " (hidden)" : "") +
    " · changes " + visibilityChanges;
}
document.addEventListener("visibilitychange", function () {
  visibilityChanges += 1;
  showVisibility();
});
showVisibility();

// A short two-note chime through WebAudio, a second after the page loaded.
function playTone() {
  const show = (text) => { document.getElementById("tone").textContent = "tone: " + text; };
  const Context = window.AudioContext || window.webkitAudioContext;
  if (!Context) {
    show("no WebAudio");
    return;
  }
  const audio = new Context();
  const start = () => {
    const gain = audio.createGain();
    gain.connect(audio.destination);
    const t = audio.currentTime + 0.05;
    [[660, 0], [880, 0.35]].forEach(([frequency, offset]) => {
      const oscillator = audio.createOscillator();
      oscillator.type = "sine";
      oscillator.frequency.value = frequency;
      oscillator.connect(gain);
      oscillator.start(t + offset);
      oscillator.stop(t + offset + 0.6);
    });
    gain.gain.setValueAtTime(0, t);
    gain.gain.linearRampToValueAtTime(0.4, t + 0.05);
    gain.gain.setValueAtTime(0.4, t + 0.85);
    gain.gain.linearRampToValueAtTime(0, t + 0.95);
    show("playing " + audio.sampleRate + " Hz");
    setTimeout(() => show("played"), 1200);
  };
  if (audio.state === "suspended") {
    audio.resume().then(start, () => show("blocked"));
  } else {
    start();
  }
}
window.addEventListener("load", function () {
  setTimeout(playTone, 1000);
});
