// Who else holds a named object. In the Linux form of the named objects every open handle on a
// region, an event or a mutex holds it (docs/host-link.md, 2.1), so a process can tell whether
// anybody but its own handle still holds an object it shares, and with that whether the other
// end of a link let go of it, without any word on the wire. Windows has no such call.
#pragma once

#include <windows.h>

enum class OtherHolders {
  Some,     // another handle, of this process or of another one, holds the object
  None,     // only `handle` itself holds it
  Unknown,  // not an open handle on a named object, or the kernel cannot tell
};

OtherHolders OtherHoldersOf(HANDLE handle);
