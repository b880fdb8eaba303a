// HTTP/1.0 server on 127.0.0.1 for the renderer tests. Serves fixed pages by path (the query is
// ignored) and is the control channel of the probe pages: each page document announces itself,
// fetches scripts queued for its frame name, runs them and posts their results back. Every
// answer allows any origin, so pages of other ports use it too.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "local_http_server.h"

class PageServer {
 public:
  PageServer() = default;
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  void Serve(const std::string& path, const std::string& html) { server_.Serve(path, html); }
  std::string Origin() const { return server_.Origin(); }
  std::string Url(const std::string& path) const { return server_.Url(path); }

  // Waits until documents named `name` have announced themselves `count` times in all.
  bool WaitForDocuments(const std::string& name, int count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30));
  int Documents(const std::string& name);

  // Runs `code` as a global script in the current document named `name` and returns
  // "ok:" + JSON of its value, or "throw:" + the error; nothing on timeout.
  std::optional<std::string> Run(const std::string& name, const std::string& code,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  // Answers the control channel's requests; nothing for the pages.
  std::optional<LocalHttpServer::Response> Control(const LocalHttpServer::Request& request);
  static std::string QueryValue(const std::string& query, const std::string& key);

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::string> currentDocument_;  // frame name -> latest document
  std::map<std::string, int> documents_;                // frame name -> announcements
  std::map<std::string, std::deque<std::pair<int, std::string>>> queued_;
  std::map<int, std::string> results_;
  int nextId_ = 1;
  // Last, so that it is destroyed first: its connection threads use the state above.
  LocalHttpServer server_{[this](const LocalHttpServer::Request& r) { return Control(r); }, true};
};
