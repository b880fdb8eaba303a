// The application object factory. The application defines it; the engine's renderer-side
// module calls it once in every renderer process, so that the renderer runs the same
// application class (and its render-process handler) as the browser process.
#pragma once

#include "include/cef_app.h"

CefRefPtr<CefApp> CreateApplication();
