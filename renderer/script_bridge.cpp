#include "script_bridge.h"

#include "message_names.h"

namespace tavrimon {

void InstallScriptBridge(CefRefPtr<CefV8Context> context, CefRefPtr<CefV8Handler> handler) {
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  CefRefPtr<CefV8Value> bridge = CefV8Value::CreateObject(nullptr, nullptr);
  if (!global || !bridge) return;
  // Attached first and filled afterwards: a failing property leaves only that one missing.
  global->SetValue("tavrimon", bridge, V8_PROPERTY_ATTRIBUTE_NONE);
  if (CefRefPtr<CefV8Value> version = CefV8Value::CreateString(kPluginVersion)) {
    bridge->SetValue("pluginVersion", version, V8_PROPERTY_ATTRIBUTE_NONE);
  }
  for (const char* name : {messages::kGetCurrentScene, messages::kGetStatus}) {
    if (CefRefPtr<CefV8Value> function = CefV8Value::CreateFunction(name, handler)) {
      bridge->SetValue(name, function, V8_PROPERTY_ATTRIBUTE_NONE);
    }
  }
}

}  // namespace tavrimon
