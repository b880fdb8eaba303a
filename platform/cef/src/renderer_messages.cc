#include "renderer_messages.h"

namespace cef_internal {

GVariant* EncodeFrameReport(const FrameReport& report) {
  return g_variant_new("(uxsb)", static_cast<guint32>(report.kind),
                       static_cast<gint64>(report.frameId), report.url.c_str(), report.main);
}

bool DecodeFrameReport(GVariant* params, FrameReport& report) {
  if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE("(uxsb)"))) return false;
  guint32 kind = 0;
  gint64 frameId = 0;
  const char* url = nullptr;
  gboolean main = FALSE;
  g_variant_get(params, "(ux&sb)", &kind, &frameId, &url, &main);
  if (kind != static_cast<guint32>(FrameReport::Kind::kCreated) &&
      kind != static_cast<guint32>(FrameReport::Kind::kLoaded)) {
    return false;
  }
  report.kind = static_cast<FrameReport::Kind>(kind);
  report.frameId = frameId;
  report.url = url;
  report.main = main;
  return true;
}

}  // namespace cef_internal
