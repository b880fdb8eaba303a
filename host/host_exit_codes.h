// Exit status of tavrimon-host, one per kind of failure so scripts can tell them apart.
#pragma once

enum HostExit : int {
  kExitOk = 0,
  kExitFailure = 1,
  kExitUsage = 2,
  kExitOutputFolder = 3,
  kExitRendererMissing = 4,
  kExitNoLink = 5,
  kExitPageNotLoaded = 6,
  kExitRendererEnded = 7,
};
