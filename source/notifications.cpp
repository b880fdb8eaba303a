#include "source/notifications.h"

#include "include/cef_process_message.h"

namespace {

void SendFlag(CefRefPtr<CefBrowser> browser, const char* name, bool value) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
  message->GetArgumentList()->SetBool(0, value);
  CefRefPtr<CefFrame> frame = browser->GetMainFrame();
  if (frame) frame->SendProcessMessage(PID_RENDERER, message);
}

}  // namespace

void NotifyVisibility(CefRefPtr<CefBrowser> browser, bool visible) {
  if (!browser) return;
  SendFlag(browser, "Visibility", visible);
}

void NotifyActive(CefRefPtr<CefBrowser> browser, bool active) {
  if (!browser) return;
  SendFlag(browser, "Active", active);
}
