#include "v8_context.h"

#include <map>
#include <string>
#include <vector>

namespace cef_internal {
namespace {

class V8Context;
class V8Value;

// Contexts entered on this thread, innermost last. Values are created in the innermost one.
thread_local std::vector<CefRefPtr<CefV8Context>> t_entered;

struct ContextOwner {
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefFrame> frame;
};
// Browser and frame of each context a frame currently shows. Each entry holds a reference on
// its JSCContext so that later wrappers of the same context (page calls into handlers) are the
// same object and find their frame; ForgetContext drops it when the frame moves on.
thread_local std::map<JSCContext*, ContextOwner> t_owners;

JSCContext* ContextOf(CefRefPtr<CefV8Context> context);

JSCContext* CurrentJsc() {
  if (t_entered.empty()) return nullptr;
  return ContextOf(t_entered.back());
}

class V8Exception : public CefV8Exception {
 public:
  explicit V8Exception(JSCException* e)
      : message_(jsc_exception_get_message(e) ? jsc_exception_get_message(e) : ""),
        resource_(jsc_exception_get_source_uri(e) ? jsc_exception_get_source_uri(e) : ""),
        line_(static_cast<int>(jsc_exception_get_line_number(e))),
        column_(static_cast<int>(jsc_exception_get_column_number(e))) {}

  CefString GetMessage() override { return message_; }
  CefString GetSourceLine() override { return CefString(); }
  CefString GetScriptResourceName() override { return resource_; }
  int GetLineNumber() override { return line_; }
  int GetStartPosition() override { return 0; }
  int GetEndPosition() override { return 0; }
  int GetStartColumn() override { return column_; }
  int GetEndColumn() override { return column_; }

 private:
  std::string message_, resource_;
  int line_, column_;
  IMPLEMENT_REFCOUNTING(V8Exception);
};

// Takes and clears the context's pending exception, if any.
CefRefPtr<CefV8Exception> TakeException(JSCContext* context) {
  JSCException* e = jsc_context_get_exception(context);
  if (!e) return nullptr;
  CefRefPtr<CefV8Exception> result = new V8Exception(e);
  jsc_context_clear_exception(context);
  return result;
}

class V8Value : public CefV8Value {
 public:
  // Takes over a full reference to `value`.
  static CefRefPtr<CefV8Value> Adopt(JSCValue* value, CefRefPtr<CefV8Handler> handler = nullptr) {
    if (!value) return nullptr;
    return new V8Value(value, std::move(handler));
  }
  static JSCValue* Raw(CefRefPtr<CefV8Value> v) {
    return v ? static_cast<V8Value*>(v.get())->value_ : nullptr;
  }

  bool IsValid() override { return true; }
  bool IsUndefined() override { return jsc_value_is_undefined(value_); }
  bool IsNull() override { return jsc_value_is_null(value_); }
  bool IsBool() override { return jsc_value_is_boolean(value_); }
  bool IsInt() override {
    if (!jsc_value_is_number(value_)) return false;
    double d = jsc_value_to_double(value_);
    return d == static_cast<double>(static_cast<int32>(d)) && d >= -2147483648.0 &&
           d <= 2147483647.0;
  }
  bool IsUInt() override {
    if (!jsc_value_is_number(value_)) return false;
    double d = jsc_value_to_double(value_);
    return d >= 0 && d <= 4294967295.0 && d == static_cast<double>(static_cast<uint32>(d));
  }
  bool IsDouble() override { return jsc_value_is_number(value_); }
  bool IsString() override { return jsc_value_is_string(value_); }
  bool IsObject() override { return jsc_value_is_object(value_); }
  bool IsArray() override { return jsc_value_is_array(value_); }
  bool IsFunction() override { return jsc_value_is_function(value_); }
  bool IsSame(CefRefPtr<CefV8Value> that) override {
    JSCValue* other = Raw(that);
    if (!other) return false;
    if (other == value_) return true;
    // Two wrappers of one script value: compare with ===.
    JSCContext* context = jsc_value_get_context(value_);
    JSCValue* is = jsc_context_evaluate(context, "Object.is", -1);
    JSCValue* r =
        jsc_value_function_call(is, JSC_TYPE_VALUE, value_, JSC_TYPE_VALUE, other, G_TYPE_NONE);
    bool same = r && jsc_value_to_boolean(r);
    if (r) g_object_unref(r);
    g_object_unref(is);
    jsc_context_clear_exception(context);
    return same;
  }
  bool GetBoolValue() override { return jsc_value_to_boolean(value_); }
  int32 GetIntValue() override { return jsc_value_to_int32(value_); }
  uint32 GetUIntValue() override { return static_cast<uint32>(jsc_value_to_double(value_)); }
  double GetDoubleValue() override { return jsc_value_to_double(value_); }
  CefString GetStringValue() override {
    if (!jsc_value_is_string(value_)) return CefString();
    char* s = jsc_value_to_string(value_);
    CefString result(s ? s : "");
    g_free(s);
    return result;
  }

  bool HasException() override { return exception_ != nullptr; }
  CefRefPtr<CefV8Exception> GetException() override { return exception_; }
  bool ClearException() override {
    exception_ = nullptr;
    return true;
  }

  bool HasValue(const CefString& key) override {
    return IsObject() && jsc_value_object_has_property(value_, key.c_str());
  }
  bool HasValue(int index) override { return HasValue(CefString(std::to_string(index))); }
  bool DeleteValue(const CefString& key) override {
    if (!IsObject()) return false;
    bool ok = jsc_value_object_delete_property(value_, key.c_str());
    return Check() && ok;
  }
  CefRefPtr<CefV8Value> GetValue(const CefString& key) override {
    if (!IsObject()) return nullptr;
    JSCValue* v = jsc_value_object_get_property(value_, key.c_str());
    if (!Check()) {
      if (v) g_object_unref(v);
      return nullptr;
    }
    return Adopt(v);
  }
  CefRefPtr<CefV8Value> GetValue(int index) override {
    if (!IsObject() || index < 0) return nullptr;
    JSCValue* v = jsc_value_object_get_property_at_index(value_, static_cast<guint>(index));
    if (!Check()) {
      if (v) g_object_unref(v);
      return nullptr;
    }
    return Adopt(v);
  }
  bool SetValue(const CefString& key, CefRefPtr<CefV8Value> value,
                PropertyAttribute attribute) override {
    JSCValue* raw = Raw(value);
    if (!IsObject() || !raw) return false;
    int flags = 0;
    if (!(attribute & V8_PROPERTY_ATTRIBUTE_READONLY)) flags |= JSC_VALUE_PROPERTY_WRITABLE;
    if (!(attribute & V8_PROPERTY_ATTRIBUTE_DONTENUM)) flags |= JSC_VALUE_PROPERTY_ENUMERABLE;
    if (!(attribute & V8_PROPERTY_ATTRIBUTE_DONTDELETE)) flags |= JSC_VALUE_PROPERTY_CONFIGURABLE;
    jsc_value_object_define_property_data(value_, key.c_str(),
                                          static_cast<JSCValuePropertyFlags>(flags), raw);
    return Check();
  }
  bool SetValue(int index, CefRefPtr<CefV8Value> value) override {
    JSCValue* raw = Raw(value);
    if (!IsObject() || !raw || index < 0) return false;
    jsc_value_object_set_property_at_index(value_, static_cast<guint>(index), raw);
    return Check();
  }
  bool GetKeys(std::vector<CefString>& keys) override {
    keys.clear();
    if (!IsObject()) return false;
    gchar** names = jsc_value_object_enumerate_properties(value_);
    for (gchar** p = names; p && *p; ++p) keys.emplace_back(*p);
    g_strfreev(names);
    return Check();
  }
  int GetArrayLength() override {
    if (!IsArray()) return 0;
    JSCValue* length = jsc_value_object_get_property(value_, "length");
    int n = length ? jsc_value_to_int32(length) : 0;
    if (length) g_object_unref(length);
    return n;
  }
  CefString GetFunctionName() override {
    if (!IsFunction()) return CefString();
    JSCValue* name = jsc_value_object_get_property(value_, "name");
    CefString result;
    if (name && jsc_value_is_string(name)) {
      char* s = jsc_value_to_string(name);
      result = CefString(s ? s : "");
      g_free(s);
    }
    if (name) g_object_unref(name);
    return result;
  }
  CefRefPtr<CefV8Handler> GetFunctionHandler() override { return handler_; }

  CefRefPtr<CefV8Value> ExecuteFunction(CefRefPtr<CefV8Value> object,
                                        const CefV8ValueList& arguments) override {
    if (!IsFunction()) return nullptr;
    std::vector<JSCValue*> args;
    JSCContext* context = jsc_value_get_context(value_);
    JSCValue* thisValue = Raw(object);
    JSCValue* global = nullptr;
    if (!thisValue) thisValue = global = jsc_context_get_global_object(context);
    args.push_back(thisValue);
    for (auto& a : arguments) {
      JSCValue* raw = Raw(a);
      if (!raw) {
        if (global) g_object_unref(global);
        return nullptr;
      }
      args.push_back(raw);
    }
    // Function.prototype.call gives the function its `this`.
    JSCValue* result = jsc_value_object_invoke_methodv(
        value_, "call", static_cast<guint>(args.size()), args.data());
    if (global) g_object_unref(global);
    exception_ = TakeException(context);
    if (exception_) {
      if (result) g_object_unref(result);
      return nullptr;
    }
    return Adopt(result);
  }
  CefRefPtr<CefV8Value> ExecuteFunctionWithContext(CefRefPtr<CefV8Context> context,
                                                   CefRefPtr<CefV8Value> object,
                                                   const CefV8ValueList& arguments) override {
    if (!context || !context->Enter()) return nullptr;
    CefRefPtr<CefV8Value> result = ExecuteFunction(object, arguments);
    context->Exit();
    return result;
  }

 private:
  V8Value(JSCValue* value, CefRefPtr<CefV8Handler> handler)
      : value_(value), handler_(std::move(handler)) {}
  ~V8Value() override { g_object_unref(value_); }

  // False (and the exception kept) when the last call threw.
  bool Check() {
    exception_ = TakeException(jsc_value_get_context(value_));
    return exception_ == nullptr;
  }

  JSCValue* value_;
  CefRefPtr<CefV8Handler> handler_;
  CefRefPtr<CefV8Exception> exception_;
  IMPLEMENT_REFCOUNTING(V8Value);
};

class V8Context : public CefV8Context {
 public:
  explicit V8Context(JSCContext* context) : context_(JSC_CONTEXT(g_object_ref(context))) {}

  JSCContext* jsc() const { return context_; }

  bool IsValid() override { return true; }
  CefRefPtr<CefBrowser> GetBrowser() override {
    auto it = t_owners.find(context_);
    return it == t_owners.end() ? nullptr : it->second.browser;
  }
  CefRefPtr<CefFrame> GetFrame() override {
    auto it = t_owners.find(context_);
    return it == t_owners.end() ? nullptr : it->second.frame;
  }
  CefRefPtr<CefV8Value> GetGlobal() override {
    return V8Value::Adopt(jsc_context_get_global_object(context_));
  }
  bool Enter() override {
    t_entered.push_back(this);
    return true;
  }
  bool Exit() override {
    for (auto it = t_entered.rbegin(); it != t_entered.rend(); ++it) {
      if (ContextOf(*it) == context_) {
        t_entered.erase(std::next(it).base());
        return true;
      }
    }
    return false;
  }
  bool IsSame(CefRefPtr<CefV8Context> that) override { return that && ContextOf(that) == context_; }
  bool Eval(const CefString& code, const CefString& script_url, int start_line,
            CefRefPtr<CefV8Value>& retval, CefRefPtr<CefV8Exception>& exception) override {
    retval = nullptr;
    exception = nullptr;
    jsc_context_clear_exception(context_);
    JSCValue* result = jsc_context_evaluate_with_source_uri(
        context_, code.c_str(), static_cast<gssize>(code.size()),
        script_url.empty() ? nullptr : script_url.c_str(),
        static_cast<guint>(start_line > 0 ? start_line : 1));
    exception = TakeException(context_);
    if (exception) {
      if (result) g_object_unref(result);
      return false;
    }
    retval = V8Value::Adopt(result);
    return retval != nullptr;
  }

 private:
  ~V8Context() override { g_object_unref(context_); }

  JSCContext* context_;
  IMPLEMENT_REFCOUNTING(V8Context);
};

JSCContext* ContextOf(CefRefPtr<CefV8Context> context) {
  return context ? static_cast<V8Context*>(context.get())->jsc() : nullptr;
}

// Page calls of a function made by CreateFunction.
struct FunctionData {
  std::string name;
  CefRefPtr<CefV8Handler> handler;
};

JSCValue* CallHandler(GPtrArray* args, gpointer data) {
  auto* f = static_cast<FunctionData*>(data);
  JSCContext* context = jsc_context_get_current();
  if (!context) return nullptr;
  CefRefPtr<CefV8Context> wrapper = ContextFor(context);
  wrapper->Enter();
  CefV8ValueList arguments;
  for (guint i = 0; args && i < args->len; ++i) {
    arguments.push_back(V8Value::Adopt(JSC_VALUE(g_object_ref(g_ptr_array_index(args, i)))));
  }
  CefRefPtr<CefV8Value> thisObject = V8Value::Adopt(jsc_context_get_global_object(context));
  CefRefPtr<CefV8Value> retval;
  CefString exception;
  f->handler->Execute(f->name, thisObject, arguments, retval, exception);
  wrapper->Exit();
  if (!exception.empty()) {
    jsc_context_throw(context, exception.c_str());
    return jsc_value_new_undefined(context);
  }
  JSCValue* raw = V8Value::Raw(retval);
  return raw ? JSC_VALUE(g_object_ref(raw)) : jsc_value_new_undefined(context);
}

}  // namespace

CefRefPtr<CefV8Context> WrapContext(JSCContext* context, CefRefPtr<CefBrowser> browser,
                                    CefRefPtr<CefFrame> frame) {
  if (!context) return nullptr;
  if (!t_owners.count(context)) g_object_ref(context);
  t_owners[context] = ContextOwner{std::move(browser), std::move(frame)};
  return new V8Context(context);
}

void ForgetContext(JSCContext* context) {
  auto it = t_owners.find(context);
  if (it == t_owners.end()) return;
  ContextOwner gone = std::move(it->second);
  t_owners.erase(it);
  g_object_unref(context);
}

CefRefPtr<CefV8Context> ContextFor(JSCContext* context) {
  return context ? new V8Context(context) : nullptr;
}

}  // namespace cef_internal

using cef_internal::CurrentJsc;
using cef_internal::V8Value;

CefRefPtr<CefV8Context> CefV8Context::GetCurrentContext() {
  return cef_internal::t_entered.empty() ? nullptr : cef_internal::t_entered.back();
}
CefRefPtr<CefV8Context> CefV8Context::GetEnteredContext() {
  return GetCurrentContext();
}
bool CefV8Context::InContext() {
  return !cef_internal::t_entered.empty();
}

CefRefPtr<CefV8Value> CefV8Value::CreateUndefined() {
  JSCContext* c = CurrentJsc();
  return c ? V8Value::Adopt(jsc_value_new_undefined(c)) : nullptr;
}
CefRefPtr<CefV8Value> CefV8Value::CreateNull() {
  JSCContext* c = CurrentJsc();
  return c ? V8Value::Adopt(jsc_value_new_null(c)) : nullptr;
}
CefRefPtr<CefV8Value> CefV8Value::CreateBool(bool value) {
  JSCContext* c = CurrentJsc();
  return c ? V8Value::Adopt(jsc_value_new_boolean(c, value)) : nullptr;
}
CefRefPtr<CefV8Value> CefV8Value::CreateInt(int32 value) {
  return CreateDouble(value);
}
CefRefPtr<CefV8Value> CefV8Value::CreateUInt(uint32 value) {
  return CreateDouble(value);
}
CefRefPtr<CefV8Value> CefV8Value::CreateDouble(double value) {
  JSCContext* c = CurrentJsc();
  return c ? V8Value::Adopt(jsc_value_new_number(c, value)) : nullptr;
}
CefRefPtr<CefV8Value> CefV8Value::CreateString(const CefString& value) {
  JSCContext* c = CurrentJsc();
  return c ? V8Value::Adopt(jsc_value_new_string(c, value.c_str())) : nullptr;
}
CefRefPtr<CefV8Value> CefV8Value::CreateObject(CefRefPtr<CefV8Accessor> accessor,
                                               CefRefPtr<CefV8Interceptor> interceptor) {
  JSCContext* c = CurrentJsc();
  if (!c || accessor || interceptor) return nullptr;
  return V8Value::Adopt(jsc_value_new_object(c, nullptr, nullptr));
}
CefRefPtr<CefV8Value> CefV8Value::CreateArray(int length) {
  JSCContext* c = CurrentJsc();
  if (!c || length < 0) return nullptr;
  JSCValue* array = jsc_value_new_array(c, G_TYPE_NONE);
  JSCValue* n = jsc_value_new_number(c, length);
  jsc_value_object_set_property(array, "length", n);
  g_object_unref(n);
  return V8Value::Adopt(array);
}
CefRefPtr<CefV8Value> CefV8Value::CreateFunction(const CefString& name,
                                                 CefRefPtr<CefV8Handler> handler) {
  JSCContext* c = CurrentJsc();
  if (!c || !handler) return nullptr;
  auto* data = new cef_internal::FunctionData{name.ToString(), handler};
  JSCValue* f = jsc_value_new_function_variadic(
      c, name.c_str(), G_CALLBACK(cef_internal::CallHandler), data,
      [](gpointer p) { delete static_cast<cef_internal::FunctionData*>(p); }, JSC_TYPE_VALUE);
  return V8Value::Adopt(f, handler);
}
