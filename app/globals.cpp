#include "globals.h"

std::int32_t instanceId = 0;
i_server* server = nullptr;
std::shared_ptr<BrowserSource> currentSource;
std::int32_t liveSourceCount = 0;
std::mutex liveSourceMutex;
int mainArgc = 0;
char** mainArgv = nullptr;
