// A frame of a browser: the main frame or a sub-frame.
#pragma once

#include "include/cef_base.h"
#include "include/cef_process_message.h"

class CefBrowser;
class CefV8Context;

class CefFrame : public virtual CefBaseRefCounted {
 public:
  virtual bool IsValid() = 0;
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
  virtual int64 GetIdentifier() = 0;
  virtual CefString GetName() = 0;
  virtual CefString GetURL() = 0;
  virtual bool IsMain() = 0;
  virtual bool IsFocused() = 0;
  virtual CefRefPtr<CefFrame> GetParent() = 0;
  // The frame's script context; renderer process only (null in the browser process).
  virtual CefRefPtr<CefV8Context> GetV8Context() = 0;
  virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                                 int start_line) = 0;
  virtual void LoadURL(const CefString& url) = 0;
  // From the browser process only PID_RENDERER, from a renderer only PID_BROWSER is accepted.
  virtual void SendProcessMessage(CefProcessId target_process,
                                  CefRefPtr<CefProcessMessage> message) = 0;
};
