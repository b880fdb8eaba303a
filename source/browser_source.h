// The browser process's one browser source: the record that ties the host's settings to the
// off-screen browser and to the converters that feed the host. Its worker thread starts the
// host link and then applies every "Update" of the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/conv_a.h"
#include "client/conv_v.h"
#include "include/cef_browser.h"
#include "shr_avsource.h"
#include "source/source_settings.h"

// What the creation of a browser needs, copied together under the source's lock so that a
// concurrent update can never hand it a half-written set.
struct BrowserCreationValues : BrowserSourceSettings {
  bool pageVisible = false;
};

struct BrowserSource {
  explicit BrowserSource(shr_avsource* settings);
  ~BrowserSource();
  BrowserSource(const BrowserSource&) = delete;
  BrowserSource& operator=(const BrowserSource&) = delete;

  // The worker thread's body: starts the link, then applies updates every 10 ms until
  // `closing`. Any exception ends it with `closing` set and `connected` cleared.
  void Run();
  void ApplySettings(bool recreate, BrowserSourceSettings& values);
  // One mouse-wheel event at (0, 0), once a page has loaded.
  void Scroll(int deltaX, int deltaY);
  // Runs f on the UI thread with the browser current now; nothing when there is none.
  void ExecuteOnBrowser(std::function<void(CefRefPtr<CefBrowser>)> f);

  // The browser and the record values, read and written under `lock`.
  CefRefPtr<CefBrowser> currentBrowser();
  void setBrowser(CefRefPtr<CefBrowser> next);
  BrowserCreationValues creationValues();
  void viewSize(int* w, int* h);
  void setViewSize(int w, int h);

  CefRefPtr<CefBrowser> browser;
  std::string url;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t frameRate = 0;
  bool captureAudio = false;
  std::atomic<bool> pageVisible{false};
  bool windowless = false;
  shr_avsource* settings;
  std::atomic<bool> pageLoaded{false};
  // Counts the browser creations updates have posted; a creation runs only if it is the last.
  std::atomic<std::uint64_t> creationGeneration{0};
  std::shared_ptr<conv_a> audioConverter;
  conv_v videoConverter;
  std::atomic<bool> closing{false};
  std::shared_ptr<std::thread> workerThread;

  // The stream whose packets `audioConverter` converts; other streams' packets are dropped
  // while it runs, so two streams never pass through one resampler. When it stops, the latest
  // of the streams still running takes over.
  struct AudioStream {
    int id;
    int sampleRate;
    int channels;
  };
  int audioStreamId = 0;
  std::vector<AudioStream> runningAudioStreams;

 private:
  std::mutex lock;  // guards browser, url, width, height, frameRate, captureAudio, windowless
};

// Creates the source from the settings object, publishes it in `currentSource`, starts its
// worker thread and applies the first settings.
void CreateBrowserSource(shr_avsource& settings);

// The scroll handler the command server calls for "setScrollPosition".
void HandleScrollPosition(int vertical, int horizontal);
