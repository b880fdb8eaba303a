#include "animation_pacing.h"

namespace cef_internal {
namespace {

// Runs in the page's own world, in every frame, before any script of the page. The callbacks
// queued since the last run are run together, with the timestamp of WebKit's animation frame,
// once the next point of the grid (one frame period apart) has been reached; the grid starts
// again from now after a pause. A callback that throws is reported as an uncaught error and
// does not keep the others from running.
constexpr char kScriptTemplate[] = R"js((() => {
  const period = 1000 / FRAME_RATE;
  const nativeRequest = window.requestAnimationFrame.bind(window);
  let queued = new Map();
  let nextHandle = 1;
  let waiting = false;
  let due = 0;
  const run = (now) => {
    waiting = false;
    if (queued.size === 0) return;
    if (now + 1 < due) { wait(); return; }
    due = now - due < period ? due + period : now + period;
    const callbacks = queued;
    queued = new Map();
    for (const callback of callbacks.values()) {
      try { callback(now); } catch (error) { queueMicrotask(() => { throw error; }); }
    }
  };
  const wait = () => {
    if (waiting) return;
    waiting = true;
    nativeRequest(run);
  };
  window.requestAnimationFrame = function requestAnimationFrame(callback) {
    if (typeof callback !== 'function') return nativeRequest(callback);
    const handle = nextHandle++;
    queued.set(handle, callback);
    wait();
    return handle;
  };
  window.cancelAnimationFrame = function cancelAnimationFrame(handle) {
    queued.delete(handle);
  };
})();)js";

}  // namespace

std::string AnimationPacingScript(int frameRate) {
  std::string script = kScriptTemplate;
  const std::string marker = "FRAME_RATE";
  script.replace(script.find(marker), marker.size(), std::to_string(frameRate > 0 ? frameRate : 1));
  return script;
}

void SetAnimationPacing(WebKitUserContentManager* manager, int frameRate) {
  webkit_user_content_manager_remove_all_scripts(manager);
  WebKitUserScript* script = webkit_user_script_new(
      AnimationPacingScript(frameRate).c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(manager, script);
  webkit_user_script_unref(script);
}

}  // namespace cef_internal
