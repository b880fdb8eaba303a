// Starting CEF in any process of the executable: as a sub-process whose work is then done, or
// as the browser process with the engine running.
#pragma once

enum class CefStartResult { SubProcessDone, InitFailed, Initialized };

CefStartResult StartCef(int argc, char** argv);
