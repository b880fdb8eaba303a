#pragma once

// Starts the browser engine and, in the browser process, the browser source; then waits for
// the host to end the link and ends the process. Returns 0 only when a source is still live.
int RunCef();
