#include "source/source_settings.h"

BrowserSourceSettings MakeBrowserSourceSettings(shr_avsource& settings) {
  BrowserSourceSettings values;
  values.url = settings.copyTarget();
  int viewWidth = 0;
  int viewHeight = 0;
  settings.getViewport(&viewWidth, &viewHeight);
  values.width = viewWidth;
  values.height = viewHeight;
  values.frameRate = 30;
  values.captureAudio = settings.offscreenCapture;
  values.windowless = settings.offscreenCapture;
  return values;
}

bool ApplyPendingUpdate(shr_avsource& settings,
                        const std::function<void(BrowserSourceSettings&)>& apply) {
  if (!settings.updatePending.exchange(false)) return false;
  BrowserSourceSettings values = MakeBrowserSourceSettings(settings);
  apply(values);
  return true;
}
