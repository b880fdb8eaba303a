#include "ui_task.h"

#include <future>

void RunOnUi(std::function<void()> f) {
  std::promise<void> done;
  CefPostTask(TID_UI, new FunctionTask([&] {
                f();
                done.set_value();
              }));
  done.get_future().wait();
}
