// Code for the engine's UI thread: a task around a function, and a call that runs a function
// there and waits for it.
#pragma once

#include <functional>

#include "include/cef_task.h"

class FunctionTask : public CefTask {
 public:
  // `released`, when given, is set once the engine has let go of the task, run or not.
  explicit FunctionTask(std::function<void()> f, bool* released = nullptr)
      : f_(std::move(f)), released_(released) {}
  ~FunctionTask() override {
    if (released_) *released_ = true;
  }
  void Execute() override { f_(); }

 private:
  std::function<void()> f_;
  bool* released_;
  IMPLEMENT_REFCOUNTING(FunctionTask);
};

// Runs `f` on the UI thread and waits for it.
void RunOnUi(std::function<void()> f);
