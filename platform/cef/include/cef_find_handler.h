// CefFindHandler: this engine offers no such events, so a client's handler of this kind is never
// used.
#pragma once

#include "include/cef_base.h"

class CefFindHandler : public virtual CefBaseRefCounted {};
