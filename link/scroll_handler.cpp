#include "scroll_handler.h"

#include <atomic>

namespace {
std::atomic<ScrollHandler> scrollHandler{nullptr};
}

ScrollHandler GetScrollHandler() {
  return scrollHandler.load();
}
void SetScrollHandler(ScrollHandler handler) {
  scrollHandler.store(handler);
}
