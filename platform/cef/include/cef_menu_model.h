// The items of a context menu about to be shown.
#pragma once

#include "include/cef_base.h"

class CefMenuModel : public virtual CefBaseRefCounted {
 public:
  // Removes every item: an empty menu is not shown.
  virtual bool Clear() = 0;
  virtual size_t GetCount() = 0;
};
