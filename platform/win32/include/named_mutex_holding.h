// Tells one holding of a named mutex from the next: a host that dies and is started again
// within one probe period holds the mutex anew, though a probe never found it missing.
#pragma once

#include <cstdint>

// An identity of the current holding of the named mutex `name` (the inode of the holder's
// socket): the same for as long as one holder keeps it, another once it was released and taken
// again. 0 when nobody holds it or it cannot be told. Reads the whole socket table: ask once.
std::uint64_t NamedMutexHolding(const char* name);

// Whether the holding `holding` (from NamedMutexHolding) of `name` goes on: false once that
// holder has let go, even when another holder has taken the mutex since. Cheap while the
// holding goes on, so it can be asked every 100 ms.
bool NamedMutexHeldBy(const char* name, std::uint64_t holding);
