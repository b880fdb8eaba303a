// Request contexts: browsers share the engine's one context; callers pass null.
#pragma once

#include "include/cef_base.h"

class CefRequestContext : public virtual CefBaseRefCounted {};
