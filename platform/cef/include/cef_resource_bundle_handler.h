// Resource bundle handler: this engine has no resource bundles, so it is never used.
#pragma once

#include "include/cef_base.h"

class CefResourceBundleHandler : public virtual CefBaseRefCounted {};
