#include "task_queue.h"

#include <array>
#include <deque>
#include <mutex>
#include <thread>

namespace cef_internal {
namespace {

struct PendingTask {
  CefRefPtr<CefTask> task;
};

struct TaskThread {
  std::mutex mutex;
  GMainContext* context = nullptr;  // null: the thread does not exist
  std::thread::id owner;
  std::deque<CefRefPtr<CefTask>> ready;
  GSource* wakeup = nullptr;  // idle source draining `ready`, when one is pending
};

using TaskThreads = std::array<TaskThread, TID_RENDERER + 1>;

// Never destroyed: a task thread may still drain its queue while the process exits.
TaskThreads& Threads() {
  static auto* threads = new TaskThreads();
  return *threads;
}

TaskThread* Find(CefThreadId id) {
  auto index = static_cast<size_t>(id);
  return index < Threads().size() ? &Threads()[index] : nullptr;
}

gboolean DrainReady(gpointer data) {
  auto* t = static_cast<TaskThread*>(data);
  {
    std::lock_guard lock(t->mutex);
    if (t->wakeup) {
      g_source_unref(t->wakeup);
      t->wakeup = nullptr;
    }
  }
  // Runs only what was queued before this drain began, so a task that posts another task
  // returns to the main loop (painting and input keep running) before that one runs.
  std::deque<CefRefPtr<CefTask>> batch;
  {
    std::lock_guard lock(t->mutex);
    batch.swap(t->ready);
  }
  while (!batch.empty()) {
    CefRefPtr<CefTask> task = std::move(batch.front());
    batch.pop_front();
    task->Execute();
  }
  return G_SOURCE_REMOVE;
}

// Caller holds t->mutex.
void ScheduleDrainLocked(TaskThread* t) {
  if (t->wakeup || !t->context) return;
  t->wakeup = g_idle_source_new();
  g_source_set_priority(t->wakeup, G_PRIORITY_DEFAULT);
  g_source_set_callback(t->wakeup, DrainReady, t, nullptr);
  g_source_attach(t->wakeup, t->context);
}

struct DelayedTask {
  TaskThread* thread;
  CefRefPtr<CefTask> task;
};

gboolean MoveDelayedToReady(gpointer data) {
  auto* d = static_cast<DelayedTask*>(data);
  std::lock_guard lock(d->thread->mutex);
  if (d->thread->context) {
    d->thread->ready.push_back(std::move(d->task));
    ScheduleDrainLocked(d->thread);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace

void BindTaskThread(CefThreadId thread, GMainContext* context) {
  TaskThread* t = Find(thread);
  std::lock_guard lock(t->mutex);
  t->context = g_main_context_ref(context);
  t->owner = std::this_thread::get_id();
  if (!t->ready.empty()) ScheduleDrainLocked(t);
}

void UnbindTaskThread(CefThreadId thread) {
  TaskThread* t = Find(thread);
  std::deque<CefRefPtr<CefTask>> dropped;
  {
    std::lock_guard lock(t->mutex);
    if (t->wakeup) {
      g_source_destroy(t->wakeup);
      g_source_unref(t->wakeup);
      t->wakeup = nullptr;
    }
    if (t->context) g_main_context_unref(t->context);
    t->context = nullptr;
    t->owner = {};
    dropped.swap(t->ready);
  }
}

}  // namespace cef_internal

using cef_internal::TaskThread;

bool CefPostTask(CefThreadId thread_id, CefRefPtr<CefTask> task) {
  return CefPostDelayedTask(thread_id, std::move(task), 0);
}

bool CefPostDelayedTask(CefThreadId thread_id, CefRefPtr<CefTask> task, int64 delay_ms) {
  TaskThread* t = cef_internal::Find(thread_id);
  if (!t || !task) return false;
  std::lock_guard lock(t->mutex);
  if (!t->context) return false;  // `task` is released unrun by the caller's reference
  if (delay_ms <= 0) {
    t->ready.push_back(std::move(task));
    cef_internal::ScheduleDrainLocked(t);
    return true;
  }
  auto* d = new cef_internal::DelayedTask{t, std::move(task)};
  GSource* timer = g_timeout_source_new(static_cast<guint>(delay_ms));
  g_source_set_callback(timer, cef_internal::MoveDelayedToReady, d,
                        [](gpointer p) { delete static_cast<cef_internal::DelayedTask*>(p); });
  g_source_attach(timer, t->context);
  g_source_unref(timer);
  return true;
}

bool CefCurrentlyOn(CefThreadId thread_id) {
  TaskThread* t = cef_internal::Find(thread_id);
  if (!t) return false;
  std::lock_guard lock(t->mutex);
  return t->context && t->owner == std::this_thread::get_id();
}
