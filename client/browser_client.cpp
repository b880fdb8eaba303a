#include "client/browser_client.h"

#include "client/page_query.h"
#include "include/cef_menu_model.h"
#include "include/cef_process_message.h"
#include "source/browser_source.h"

CefRefPtr<CefAudioHandler> BrowserClient::GetAudioHandler() {
  if (!audioEnabled) return nullptr;
  return this;
}

bool BrowserClient::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame>,
                                             CefProcessId, CefRefPtr<CefProcessMessage> message) {
  const std::string name = message->GetName().ToString();
  BrowserSource* current = source;
  if (current == nullptr) return false;
  int viewWidth = 0;
  int viewHeight = 0;
  current->viewSize(&viewWidth, &viewHeight);
  const auto answer = AnswerPageQuery(name, viewWidth, viewHeight);
  if (!answer) return false;

  CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create("executeCallback");
  CefRefPtr<CefListValue> args = reply->GetArgumentList();
  args->SetInt(0, message->GetArgumentList()->GetInt(0));
  args->SetString(1, CefString(*answer));
  CefRefPtr<CefFrame> mainFrame = browser->GetMainFrame();
  if (mainFrame) mainFrame->SendProcessMessage(PID_RENDERER, reply);
  return true;
}

void BrowserClient::OnBeforeContextMenu(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>,
                                        CefRefPtr<CefContextMenuParams>,
                                        CefRefPtr<CefMenuModel> model) {
  model->Clear();
}

bool BrowserClient::OnConsoleMessage(CefRefPtr<CefBrowser>, cef_log_severity_t, const CefString&,
                                     const CefString&, int) {
  return false;
}

bool BrowserClient::OnBeforePopup(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, const CefString&,
                                  const CefString&, WindowOpenDisposition, bool,
                                  const CefPopupFeatures&, CefWindowInfo&, CefRefPtr<CefClient>&,
                                  CefBrowserSettings&, CefRefPtr<CefDictionaryValue>&, bool*) {
  return true;  // no pop-up window ever opens
}

void BrowserClient::OnAfterCreated(CefRefPtr<CefBrowser>) {}

void BrowserClient::OnBeforeClose(CefRefPtr<CefBrowser>) {
  if (BrowserSource* current = source) current->pageLoaded = false;
}

void BrowserClient::OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, int httpStatusCode) {
  BrowserSource* current = source;
  if (current == nullptr) return;
  current->pageLoaded = true;
  if (httpStatusCode == 200 && current->settings != nullptr) current->settings->ready = true;
}
