// A minimal HTTP server on 127.0.0.1 that serves the files of one folder, so the bundled demo
// loads with status 200 (the renderer reports a page ready only after a 200 load) and nothing
// leaves the machine. GET and HEAD only; one connection at a time.
#pragma once

#include <atomic>
#include <string>
#include <thread>

class LocalWebServer {
 public:
  explicit LocalWebServer(std::string root);
  ~LocalWebServer();
  LocalWebServer(const LocalWebServer&) = delete;
  LocalWebServer& operator=(const LocalWebServer&) = delete;

  // Binds an ephemeral port and starts serving; false when no socket could be bound.
  bool start();
  // "http://127.0.0.1:PORT" once started.
  std::string origin() const;

 private:
  void serve();
  void answer(int client);

  std::string root_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
