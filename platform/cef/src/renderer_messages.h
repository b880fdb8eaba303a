// Reports the renderer side sends about frames, beside the application's process messages:
// a frame got a new document (created) and a frame's document finished loading (loaded).
#pragma once

#include <glib.h>

#include <string>

#include "include/internal/cef_types.h"

namespace cef_internal {

inline constexpr char kFrameReportName[] = "tavrimon.cef.frame";

struct FrameReport {
  enum class Kind : guint32 { kCreated = 1, kLoaded = 2 } kind = Kind::kCreated;
  int64 frameId = 0;
  std::string url;
  bool main = false;
};

// A console message of a page: severity (cef_log_severity_t), text, source URL, line.
inline constexpr char kConsoleMessageName[] = "tavrimon.cef.console";
struct ConsoleReport {
  int level = 0;
  std::string text;
  std::string source;
  int line = 0;
};
GVariant* EncodeConsoleReport(const ConsoleReport& report);
bool DecodeConsoleReport(GVariant* params, ConsoleReport& report);

// A floating GVariant "(uxsb)".
GVariant* EncodeFrameReport(const FrameReport& report);
bool DecodeFrameReport(GVariant* params, FrameReport& report);

}  // namespace cef_internal
