// CefString of this CEF layer: UTF-8 text. Converts to and from std::string and C strings.
#pragma once

#include <compare>
#include <string>
#include <string_view>

class CefString {
 public:
  CefString() = default;
  CefString(const std::string& s) : str_(s) {}
  CefString(std::string&& s) : str_(std::move(s)) {}
  CefString(const char* s) : str_(s ? s : "") {}
  CefString(std::string_view s) : str_(s) {}

  std::string ToString() const { return str_; }
  const std::string& ToString8() const { return str_; }
  void FromString(const std::string& s) { str_ = s; }
  const char* c_str() const { return str_.c_str(); }
  size_t length() const { return str_.size(); }
  size_t size() const { return str_.size(); }
  bool empty() const { return str_.empty(); }
  void clear() { str_.clear(); }
  operator std::string() const { return str_; }

  friend bool operator==(const CefString& a, const CefString& b) = default;
  friend auto operator<=>(const CefString& a, const CefString& b) = default;
  friend bool operator==(const CefString& a, const char* b) { return a.str_ == (b ? b : ""); }

 private:
  std::string str_;
};
