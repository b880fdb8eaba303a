// The application object of the engine tests, in the test process and in every web process
// (through the test's renderer-side module). Renderer side:
// - every new script context defines window.fixed = 42 (read-only) and window.report(text),
//   which sends "fromPage" [text, frame URL] to the browser process, and reports the context
//   with "context" [frame URL, is main, frame id, browser id];
// - "ping" [args...] is answered with "pong" [the same args..., browser id, frame count];
// - "eval" [code] runs code in the main frame and answers "evalResult" [String(result), ok].
#pragma once

#include "include/cef_app.h"

CefRefPtr<CefApp> CreateTestApplication();
