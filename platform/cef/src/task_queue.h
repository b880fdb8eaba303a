// The task queue of a CEF thread: tasks posted from any thread run on the thread that runs
// the queue's GMainContext, in posting order, never inside the posting call.
#pragma once

#include <glib.h>

#include "include/cef_task.h"

namespace cef_internal {

// Binds `thread` to `context`, run by the calling thread from now on.
void BindTaskThread(CefThreadId thread, GMainContext* context);
// Unbinds `thread`: later posts are refused; queued tasks are released unrun.
void UnbindTaskThread(CefThreadId thread);

}  // namespace cef_internal
