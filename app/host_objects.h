// The objects the host made for this renderer (its video and audio channels and its response
// event), as this process opened them. The host holds them for as long as it serves this
// renderer, so once nobody but this process holds any of them, this renderer's host is gone,
// even while another host of the application still holds the host-instance mutex.
#pragma once

#include <windows.h>

#include <vector>

// Called once the link is up, with this process's handles on the host's objects.
void WatchHostObjects(std::vector<HANDLE> handles);

// True when objects are watched and nobody but this process holds any of them any more. False
// before the link is up, and whenever that cannot be told.
bool HostLetGoOfItsObjects();
