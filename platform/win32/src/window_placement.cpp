// Window placement on the user's X display: the client rectangle of a window and batches of
// moves applied together.
#include <X11/Xlib.h>
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "handle_table.h"

namespace {

struct Move {
  Window window;
  int x, y, width, height;
};

class DeferredMoves : public win32::KernelObject {
 public:
  std::vector<Move> moves;
};

// One connection, opened on first use and used under its lock.
std::mutex displayLock;
Display* UserDisplay() {
  static Display* display = XOpenDisplay(nullptr);
  return display;
}

Window AsWindow(HWND window) {
  return static_cast<Window>(reinterpret_cast<std::uintptr_t>(window));
}

}  // namespace

BOOL GetClientRect(HWND window, RECT* rect) {
  if (window == nullptr || rect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(displayLock);
  Display* display = UserDisplay();
  XWindowAttributes attributes{};
  if (display == nullptr || !XGetWindowAttributes(display, AsWindow(window), &attributes)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *rect = {0, 0, attributes.width, attributes.height};
  return TRUE;
}

HDWP BeginDeferWindowPos(int count) {
  auto batch = std::make_shared<DeferredMoves>();
  if (count > 0) batch->moves.reserve(static_cast<std::size_t>(count));
  return win32::AddHandle(batch);
}

HDWP DeferWindowPos(HDWP batch, HWND window, HWND, int x, int y, int width, int height, UINT) {
  auto moves = win32::LookupHandle<DeferredMoves>(batch);
  if (!moves || window == nullptr || width <= 0 || height <= 0) return nullptr;
  moves->moves.push_back({AsWindow(window), x, y, width, height});
  return batch;
}

BOOL EndDeferWindowPos(HDWP batch) {
  auto moves = win32::LookupHandle<DeferredMoves>(batch);
  if (!moves) return FALSE;
  win32::RemoveHandle(batch);
  std::lock_guard<std::mutex> guard(displayLock);
  Display* display = UserDisplay();
  if (display == nullptr) return FALSE;
  for (const Move& move : moves->moves) {
    XMoveResizeWindow(display, move.window, move.x, move.y, static_cast<unsigned>(move.width),
                      static_cast<unsigned>(move.height));
  }
  XSync(display, False);  // the windows have moved once this returns, as with Win32
  return TRUE;
}
