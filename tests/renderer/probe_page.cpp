#include "probe_page.h"

std::string ProbePage(const std::string& control, const std::string& body) {
  return R"(<!doctype html><html><head><script>
(() => {
  const bridge = window.tavrimon;
  window.probe = {
    initial: {
      hidden: document.hidden,
      state: document.visibilityState,
      own: Object.getOwnPropertyDescriptor(document, 'hidden') !== undefined,
      version: bridge && typeof bridge === 'object' ? bridge.pluginVersion : null
    },
    events: []
  };
  document.addEventListener('visibilitychange', e => probe.events.push({
    custom: e instanceof CustomEvent, hidden: document.hidden, state: document.visibilityState,
    bubbles: e.bubbles, cancelable: e.cancelable
  }));
  const control = ')" +
         control + R"(';
  const name = new URLSearchParams(location.search).get('name') || 'unnamed';
  const query = '?f=' + encodeURIComponent(name) + '&d=' + Math.random().toString(36).slice(2);
  const pause = ms => new Promise(r => setTimeout(r, ms));
  async function serve() {
    for (;;) {
      try { await fetch(control + '/hello' + query, { method: 'POST', body: '' }); break; }
      catch (e) { await pause(100); }
    }
    for (;;) {
      let text = '';
      try { text = await (await fetch(control + '/script' + query, { cache: 'no-store' })).text(); }
      catch (e) { await pause(100); continue; }
      const nl = text.indexOf('\n');
      if (nl < 0) continue;
      let out;
      try { out = 'ok:' + JSON.stringify((0, eval)(text.slice(nl + 1))); }
      catch (e) { out = 'throw:' + e; }
      try { await fetch(control + '/result' + query, { method: 'POST', body: text.slice(0, nl) + '\n' + out }); }
      catch (e) {}
    }
  }
  serve();
})();
</script></head><body>)" +
         body + "</body></html>";
}
