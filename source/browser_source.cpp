#include "source/browser_source.h"

#include <windows.h>

#include "globals.h"
#include "host_objects.h"
#include "i_server.h"
#include "source/browser_task.h"
#include "source/notifications.h"
#include "source/source_browser.h"

BrowserSource::BrowserSource(shr_avsource* settings) : settings(settings) {}

BrowserSource::~BrowserSource() {
  pageLoaded = false;
  ExecuteOnBrowser(CloseSourceBrowser);
  closing = true;
}

void BrowserSource::Run() {
  try {
    server->instanceId = instanceId;
    settings->instanceId = instanceId;
    server->start();
    WatchHostObjects(server->hostObjects());
    while (!closing) {
      ApplyPendingUpdate(*settings,
                         [this](BrowserSourceSettings& values) { ApplySettings(true, values); });
      Sleep(10);
    }
  } catch (...) {
    closing = true;
    settings->connected = false;
  }
}

void BrowserSource::ApplySettings(bool recreate, BrowserSourceSettings& values) {
  {
    std::lock_guard<std::mutex> guard(lock);
    width = values.width;
    height = values.height;
    frameRate = values.frameRate;
    url = values.url;
    captureAudio = values.captureAudio;
    windowless = values.windowless;
  }
  if (recreate && (pageLoaded || settings->offscreenCapture)) {
    pageLoaded = false;
    // Tasks run in posting order: the old browser is closed before the new one is made. The
    // one to close is taken when the task runs, not now: the creation an update just before
    // posted may not have run yet, and the browser it makes must be closed too, or it would
    // live on beside the next one, painting into the host's channel.
    PostBrowserTask([this] {
      if (CefRefPtr<CefBrowser> current = currentBrowser()) CloseSourceBrowser(current);
    });
    // When updates come faster than the engine makes browsers, only the newest creation still
    // queued is carried out: it reads the newest values, and each one skipped is a browser
    // that would have been closed at once (its processes would linger meanwhile).
    const std::uint64_t generation = ++creationGeneration;
    PostBrowserTask([this, generation] {
      if (generation == creationGeneration.load()) CreateSourceBrowser(this);
    });
  }
  ExecuteOnBrowser([](CefRefPtr<CefBrowser> current) { NotifyActive(current, true); });
  pageVisible = true;
  NotifyVisibility(currentBrowser(), true);
  videoConverter.initialized = false;
}

void BrowserSource::Scroll(int deltaX, int deltaY) {
  if (!pageLoaded || !currentBrowser()) return;
  ExecuteOnBrowser([deltaX, deltaY](CefRefPtr<CefBrowser> current) {
    ScrollTask(current, 0, 0, 0, deltaX, deltaY);
  });
}

void BrowserSource::ExecuteOnBrowser(std::function<void(CefRefPtr<CefBrowser>)> f) {
  CefRefPtr<CefBrowser> bound = currentBrowser();
  if (!bound) return;
  PostBrowserTask([f = std::move(f), bound] { f(bound); });
}

CefRefPtr<CefBrowser> BrowserSource::currentBrowser() {
  std::lock_guard<std::mutex> guard(lock);
  return browser;
}

void BrowserSource::setBrowser(CefRefPtr<CefBrowser> next) {
  CefRefPtr<CefBrowser> previous;
  {
    std::lock_guard<std::mutex> guard(lock);
    previous = browser;
    browser = next;
  }
  // The replaced reference is released outside the lock.
}

BrowserCreationValues BrowserSource::creationValues() {
  std::lock_guard<std::mutex> guard(lock);
  BrowserCreationValues values;
  values.url = url;
  values.width = width;
  values.height = height;
  values.frameRate = frameRate;
  values.captureAudio = captureAudio;
  values.windowless = windowless;
  values.pageVisible = pageVisible;
  return values;
}

void BrowserSource::viewSize(int* w, int* h) {
  std::lock_guard<std::mutex> guard(lock);
  *w = width;
  *h = height;
}

void BrowserSource::setViewSize(int w, int h) {
  std::lock_guard<std::mutex> guard(lock);
  width = w;
  height = h;
}

void CreateBrowserSource(shr_avsource& settings) {
  BrowserSourceSettings values = MakeBrowserSourceSettings(settings);
  auto source = std::make_shared<BrowserSource>(&settings);
  currentSource = source;
  // The thread's own reference keeps the source alive while Run runs.
  source->workerThread = std::make_shared<std::thread>(&BrowserSource::Run, source);
  source->workerThread->detach();
  source->ApplySettings(false, values);
}

void HandleScrollPosition(int vertical, int horizontal) {
  std::shared_ptr<BrowserSource> source = currentSource;
  if (!source) return;
  if (vertical != 0) source->Scroll(0, vertical);
  if (horizontal != 0) source->Scroll(horizontal, 0);
}
