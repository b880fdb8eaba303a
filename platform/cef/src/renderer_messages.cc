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

GVariant* EncodeConsoleReport(const ConsoleReport& report) {
  return g_variant_new("(issi)", report.level, report.text.c_str(), report.source.c_str(),
                       report.line);
}

bool DecodeConsoleReport(GVariant* params, ConsoleReport& report) {
  if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE("(issi)"))) return false;
  gint32 level = 0;
  const char* text = nullptr;
  const char* source = nullptr;
  gint32 line = 0;
  g_variant_get(params, "(i&s&si)", &level, &text, &source, &line);
  report.level = level;
  report.text = text;
  report.source = source;
  report.line = line;
  return true;
}

}  // namespace cef_internal
