// The process-wide state of the executable. Everything here starts zero or empty and lives
// until the process ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class i_server;
class BrowserSource;

// The instance id from the command line; 0 in sub-processes. Written once by main before any
// other thread exists.
extern std::int32_t instanceId;
// The one link object of the process, set by main once its channels are prepared.
extern i_server* server;
extern std::shared_ptr<BrowserSource> currentSource;
extern std::int32_t liveSourceCount;
extern std::mutex liveSourceMutex;
// The command line, kept for the browser engine's start.
extern int mainArgc;
extern char** mainArgv;
