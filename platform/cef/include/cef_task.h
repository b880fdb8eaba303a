// Tasks run on a CEF thread. In the browser process TID_UI is the thread that runs the engine;
// in a renderer process TID_RENDERER is its main thread.
#pragma once

#include "include/cef_base.h"

class CefTask : public virtual CefBaseRefCounted {
 public:
  virtual void Execute() = 0;
};

// Queues `task` for `thread_id`; tasks run in posting order and never inside this call, also
// when posted from that thread. Returns false, releasing the task unrun, when the thread does
// not exist (before CefInitialize, or after it has gone).
bool CefPostTask(CefThreadId thread_id, CefRefPtr<CefTask> task);
bool CefPostDelayedTask(CefThreadId thread_id, CefRefPtr<CefTask> task, int64 delay_ms);
bool CefCurrentlyOn(CefThreadId thread_id);
