// Settings WebKitGTK takes from the environment, for this process and the helper processes it
// starts (they inherit it).
#pragma once

namespace cef_internal {

// For an engine that never composites: WebKit's UI process then has no use for a GL display,
// yet it opens one (and with it Mesa and LLVM, about 20 MB of private memory per process) to
// look for a DMA-BUF renderer and the main DRM device. These variables skip both: the DMA-BUF
// renderer (used only by composited views) is off, and the render device is named instead of
// looked up through GL (with the renderer off, nothing opens it). Variables already set are
// left as they are. Call before the first web context is made.
void KeepGlUnloaded();

}  // namespace cef_internal
