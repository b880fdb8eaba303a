// CefListValue and CefProcessMessage: plain in-memory values, shared by both process sides.
#include <mutex>
#include <variant>
#include <vector>

#include "include/cef_process_message.h"
#include "include/cef_values.h"

namespace {

using Entry = std::variant<std::monostate, bool, int, double, CefString>;

class ListValue : public CefListValue {
 public:
  ListValue() = default;
  explicit ListValue(std::vector<Entry> entries) : entries_(std::move(entries)) {}

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return false; }
  CefRefPtr<CefListValue> Copy() override {
    std::lock_guard lock(mutex_);
    return new ListValue(entries_);
  }
  bool SetSize(size_t size) override {
    std::lock_guard lock(mutex_);
    entries_.resize(size);
    return true;
  }
  size_t GetSize() override {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }
  bool Clear() override {
    std::lock_guard lock(mutex_);
    entries_.clear();
    return true;
  }
  bool Remove(size_t index) override {
    std::lock_guard lock(mutex_);
    if (index >= entries_.size()) return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
  }
  CefValueType GetType(size_t index) override {
    std::lock_guard lock(mutex_);
    if (index >= entries_.size()) return VTYPE_INVALID;
    static constexpr CefValueType kTypes[] = {VTYPE_NULL, VTYPE_BOOL, VTYPE_INT, VTYPE_DOUBLE,
                                              VTYPE_STRING};
    return kTypes[entries_[index].index()];
  }
  bool GetBool(size_t index) override { return Get<bool>(index); }
  int GetInt(size_t index) override { return Get<int>(index); }
  double GetDouble(size_t index) override { return Get<double>(index); }
  CefString GetString(size_t index) override { return Get<CefString>(index); }
  bool SetNull(size_t index) override { return Set(index, std::monostate{}); }
  bool SetBool(size_t index, bool value) override { return Set(index, value); }
  bool SetInt(size_t index, int value) override { return Set(index, value); }
  bool SetDouble(size_t index, double value) override { return Set(index, value); }
  bool SetString(size_t index, const CefString& value) override { return Set(index, value); }

 private:
  template <class T>
  T Get(size_t index) {
    std::lock_guard lock(mutex_);
    if (index >= entries_.size()) return T{};
    if (const T* v = std::get_if<T>(&entries_[index])) return *v;
    return T{};
  }
  bool Set(size_t index, Entry value) {
    // Guards against absurd indexes growing the list without bound.
    if (index > (1u << 20)) return false;
    std::lock_guard lock(mutex_);
    if (index >= entries_.size()) entries_.resize(index + 1);
    entries_[index] = std::move(value);
    return true;
  }

  std::mutex mutex_;
  std::vector<Entry> entries_;
  IMPLEMENT_REFCOUNTING(ListValue);
};

class ProcessMessage : public CefProcessMessage {
 public:
  ProcessMessage(CefString name, CefRefPtr<CefListValue> args)
      : name_(std::move(name)), args_(std::move(args)) {}

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return false; }
  CefRefPtr<CefProcessMessage> Copy() override { return new ProcessMessage(name_, args_->Copy()); }
  CefString GetName() override { return name_; }
  CefRefPtr<CefListValue> GetArgumentList() override { return args_; }

 private:
  const CefString name_;
  const CefRefPtr<CefListValue> args_;
  IMPLEMENT_REFCOUNTING(ProcessMessage);
};

}  // namespace

CefRefPtr<CefListValue> CefListValue::Create() {
  return new ListValue();
}

CefRefPtr<CefProcessMessage> CefProcessMessage::Create(const CefString& name) {
  return new ProcessMessage(name, CefListValue::Create());
}
