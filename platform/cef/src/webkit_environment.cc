#include "webkit_environment.h"

#include <cstdlib>

namespace cef_internal {

void KeepGlUnloaded() {
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
  setenv("WEBKIT_WEB_RENDER_DEVICE_FILE", "/dev/null", 0);
}

}  // namespace cef_internal
