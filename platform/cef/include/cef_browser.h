// A browser (one page view) and its host, which steers it from the browser process.
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_frame.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"

class CefClient;
class CefBrowserHost;

class CefBrowser : public virtual CefBaseRefCounted {
 public:
  // Null in a renderer process.
  virtual CefRefPtr<CefBrowserHost> GetHost() = 0;
  virtual bool CanGoBack() = 0;
  virtual bool CanGoForward() = 0;
  virtual bool IsLoading() = 0;
  virtual void Reload() = 0;
  virtual void StopLoad() = 0;
  // The same number in the browser process and in the browser's renderer process.
  virtual int GetIdentifier() = 0;
  virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
  virtual bool IsPopup() = 0;
  virtual bool HasDocument() = 0;
  virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
  virtual CefRefPtr<CefFrame> GetFrame(int64 identifier) = 0;
  virtual CefRefPtr<CefFrame> GetFrame(const CefString& name) = 0;
  virtual size_t GetFrameCount() = 0;
  virtual void GetFrameIdentifiers(std::vector<int64>& identifiers) = 0;
  virtual void GetFrameNames(std::vector<CefString>& names) = 0;
};

struct CefMouseEvent;

class CefBrowserHost : public virtual CefBaseRefCounted {
 public:
  // UI thread only (null elsewhere). Returns null when the view cannot be made.
  static CefRefPtr<CefBrowser> CreateBrowserSync(const CefWindowInfo& windowInfo,
                                                 CefRefPtr<CefClient> client, const CefString& url,
                                                 const CefBrowserSettings& settings,
                                                 CefRefPtr<CefDictionaryValue> extra_info,
                                                 CefRefPtr<CefRequestContext> request_context);

  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
  // Closes the browser; `force_close` skips unload handlers. OnBeforeClose follows.
  virtual void CloseBrowser(bool force_close) = 0;
  virtual bool TryCloseBrowser() = 0;
  // Non-null only for a windowed browser.
  virtual CefWindowHandle GetWindowHandle() = 0;
  virtual CefRefPtr<CefClient> GetClient() = 0;
  virtual void WasResized() = 0;
  // A hidden windowless browser gets no OnPaint.
  virtual void WasHidden(bool hidden) = 0;
  virtual void Invalidate(cef_paint_element_type_t type) = 0;
  // A button press or release at the event's position (view coordinates).
  virtual void SendMouseClickEvent(const CefMouseEvent& event, cef_mouse_button_type_t type,
                                   bool mouseUp, int clickCount) = 0;
  virtual void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) = 0;
  // Positive deltaY scrolls toward the top, positive deltaX toward the left (pixels).
  virtual void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) = 0;
  // Silences local output; never changes the sound delivered to an audio handler.
  virtual void SetAudioMuted(bool mute) = 0;
  virtual bool IsAudioMuted() = 0;
  virtual void SetWindowlessFrameRate(int frame_rate) = 0;
  virtual int GetWindowlessFrameRate() = 0;
};
