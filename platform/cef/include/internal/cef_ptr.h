// Reference-counted smart pointer of the CEF layer: CefRefPtr adds a reference on copy and
// releases it on destruction; CefRawPtr is a plain pointer CEF hands out for one call.
#pragma once

#include <cstddef>
#include <utility>

template <class T>
using CefRawPtr = T*;

template <class T>
class CefRefPtr {
 public:
  CefRefPtr() = default;
  CefRefPtr(std::nullptr_t) {}
  CefRefPtr(T* p) : ptr_(p) {
    if (ptr_) ptr_->AddRef();
  }
  CefRefPtr(const CefRefPtr& other) : CefRefPtr(other.ptr_) {}
  CefRefPtr(CefRefPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <class U>
  CefRefPtr(const CefRefPtr<U>& other) : CefRefPtr(other.get()) {}
  template <class U>
  CefRefPtr(CefRefPtr<U>&& other) noexcept : ptr_(other.release()) {}
  ~CefRefPtr() {
    if (ptr_) ptr_->Release();
  }

  CefRefPtr& operator=(T* p) {
    if (p) p->AddRef();
    T* old = std::exchange(ptr_, p);
    if (old) old->Release();
    return *this;
  }
  CefRefPtr& operator=(const CefRefPtr& other) { return *this = other.ptr_; }
  CefRefPtr& operator=(CefRefPtr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(ptr_, std::exchange(other.ptr_, nullptr));
      if (old) old->Release();
    }
    return *this;
  }
  template <class U>
  CefRefPtr& operator=(const CefRefPtr<U>& other) {
    return *this = other.get();
  }
  CefRefPtr& operator=(std::nullptr_t) { return *this = static_cast<T*>(nullptr); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  operator T*() const { return ptr_; }

  // Gives up ownership without releasing: the caller takes over the reference.
  T* release() { return std::exchange(ptr_, nullptr); }
  void swap(CefRefPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

 private:
  T* ptr_ = nullptr;
};
