// Print handler: this engine never prints, so it is never used.
#pragma once

#include "include/cef_base.h"

class CefPrintHandler : public virtual CefBaseRefCounted {};
