// The process-wide hook through which the command server hands on "setScrollPosition".
#pragma once

using ScrollHandler = void (*)(int, int);

// Null until the browser process installs its handler; read by the command server thread.
ScrollHandler GetScrollHandler();
void SetScrollHandler(ScrollHandler handler);
