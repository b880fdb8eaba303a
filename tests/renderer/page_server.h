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
#include <thread>
#include <vector>

class PageServer {
 public:
  PageServer();
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  void Serve(const std::string& path, const std::string& html);
  std::string Origin() const;
  std::string Url(const std::string& path) const { return Origin() + path; }

  // Waits until documents named `name` have announced themselves `count` times in all.
  bool WaitForDocuments(const std::string& name, int count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30));
  int Documents(const std::string& name);

  // Runs `code` as a global script in the current document named `name` and returns
  // "ok:" + JSON of its value, or "throw:" + the error; nothing on timeout.
  std::optional<std::string> Run(const std::string& name, const std::string& code,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  struct Request {
    std::string method, path, query, body;
  };
  struct Response {
    int status = 200;
    std::string type = "text/plain";
    std::string body;
  };
  void AcceptLoop();
  void Answer(int client);
  Response Route(const Request& request);
  static std::string QueryValue(const std::string& query, const std::string& key);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::string> pages_;
  std::map<std::string, std::string> currentDocument_;  // frame name -> latest document
  std::map<std::string, int> documents_;                // frame name -> announcements
  std::map<std::string, std::deque<std::pair<int, std::string>>> queued_;
  std::map<int, std::string> results_;
  int nextId_ = 1;
  std::thread acceptor_;
  std::vector<std::thread> clients_;  // accept thread only, joined at the end
};
