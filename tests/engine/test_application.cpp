#include "test_application.h"

#include "include/cef_application_factory.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_v8.h"

#include <string>

namespace {

// What this renderer's OnBeforeCommandLineProcessing saw.
std::string g_processType;
std::string g_childSwitch;

class TestApplication : public CefApp,
                        public CefBrowserProcessHandler,
                        public CefRenderProcessHandler,
                        public CefV8Handler {
 public:
  void OnBeforeCommandLineProcessing(const CefString& process_type,
                                     CefRefPtr<CefCommandLine> command_line) override {
    if (process_type.empty()) command_line->AppendSwitch("disable-gpu");
    command_line->AppendSwitchWithValue("autoplay-policy", "no-user-gesture-required");
    g_processType = command_line->GetSwitchValue("type").ToString();
    g_childSwitch = command_line->GetSwitchValue("test-child-switch").ToString();
  }
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }

  void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override {
    command_line->AppendSwitchWithValue("test-child-switch", "from-parent");
  }

  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    CefRefPtr<CefV8Value> global = context->GetGlobal();
    global->SetValue("fixed", CefV8Value::CreateInt(42), V8_PROPERTY_ATTRIBUTE_READONLY);
    global->SetValue("report", CefV8Value::CreateFunction("report", this),
                     V8_PROPERTY_ATTRIBUTE_NONE);
    CefRefPtr<CefProcessMessage> m = CefProcessMessage::Create("context");
    m->GetArgumentList()->SetString(0, frame->GetURL());
    m->GetArgumentList()->SetBool(1, frame->IsMain());
    m->GetArgumentList()->SetString(2, std::to_string(frame->GetIdentifier()));
    m->GetArgumentList()->SetInt(3, browser->GetIdentifier());
    frame->SendProcessMessage(PID_BROWSER, m);
  }

  bool Execute(const CefString& name, CefRefPtr<CefV8Value> /*object*/,
               const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval,
               CefString& exception) override {
    if (name != "report") return false;
    if (arguments.size() != 1 || !arguments[0]->IsString()) {
      exception = "report needs one string";
      return true;
    }
    CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
    CefRefPtr<CefFrame> frame = context ? context->GetFrame() : nullptr;
    if (!frame) return true;
    CefRefPtr<CefProcessMessage> m = CefProcessMessage::Create("fromPage");
    m->GetArgumentList()->SetString(0, arguments[0]->GetStringValue());
    m->GetArgumentList()->SetString(1, frame->GetURL());
    frame->SendProcessMessage(PID_BROWSER, m);
    retval = CefV8Value::CreateBool(true);
    return true;
  }

  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                CefProcessId /*source_process*/,
                                CefRefPtr<CefProcessMessage> message) override {
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    if (message->GetName() == "ping") {
      CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create("pong");
      CefRefPtr<CefListValue> out = reply->GetArgumentList();
      out->SetBool(0, args->GetBool(0));
      out->SetInt(1, args->GetInt(1));
      out->SetDouble(2, args->GetDouble(2));
      out->SetString(3, args->GetString(3));
      out->SetInt(4, browser->GetIdentifier());
      std::vector<int64> ids;
      browser->GetFrameIdentifiers(ids);
      int live = 0;
      for (int64 id : ids) live += browser->GetFrame(id) ? 1 : 0;
      out->SetInt(5, live);
      out->SetString(6, g_processType);
      out->SetString(7, g_childSwitch);
      frame->SendProcessMessage(PID_BROWSER, reply);
      return true;
    }
    if (message->GetName() == "dispatch") {
      // document.dispatchEvent(new CustomEvent('probe', {})) with `this` = document, and a
      // function that throws.
      CefRefPtr<CefFrame> main = browser->GetMainFrame();
      CefRefPtr<CefV8Context> context = main->GetV8Context();
      CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create("dispatched");
      if (context && context->Enter()) {
        CefRefPtr<CefV8Value> event, thrower;
        CefRefPtr<CefV8Exception> exception;
        CefRefPtr<CefV8Value> document = context->GetGlobal()->GetValue("document");
        if (context->Eval("new CustomEvent('probe', {})", main->GetURL(), 0, event, exception)) {
          CefRefPtr<CefV8Value> dispatch = document->GetValue("dispatchEvent");
          CefRefPtr<CefV8Value> r = dispatch->ExecuteFunction(document, {event});
          reply->GetArgumentList()->SetBool(0, r && r->IsBool() && r->GetBoolValue());
        }
        if (context->Eval("(function () { throw new Error('boom'); })", CefString(), 0, thrower,
                          exception)) {
          CefRefPtr<CefV8Value> r = thrower->ExecuteFunction(nullptr, {});
          reply->GetArgumentList()->SetBool(
              1, !r && thrower->HasException() &&
                     thrower->GetException()->GetMessage().ToString().find("boom") !=
                         std::string::npos);
        }
        context->Exit();
      }
      frame->SendProcessMessage(PID_BROWSER, reply);
      return true;
    }
    if (message->GetName() == "eval") {
      CefRefPtr<CefFrame> main = browser->GetMainFrame();
      CefRefPtr<CefV8Context> context = main ? main->GetV8Context() : nullptr;
      CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create("evalResult");
      if (context && context->Enter()) {
        CefRefPtr<CefV8Value> retval;
        CefRefPtr<CefV8Exception> exception;
        bool ok = context->Eval(args->GetString(0), main->GetURL(), 1, retval, exception);
        reply->GetArgumentList()->SetString(
            0, ok ? retval->GetStringValue() : exception->GetMessage());
        reply->GetArgumentList()->SetBool(1, ok);
        context->Exit();
      }
      frame->SendProcessMessage(PID_BROWSER, reply);
      return true;
    }
    return false;
  }

  IMPLEMENT_REFCOUNTING(TestApplication);
};

}  // namespace

CefRefPtr<CefApp> CreateTestApplication() {
  return new TestApplication();
}

CefRefPtr<CefApp> CreateApplication() {
  return CreateTestApplication();
}
