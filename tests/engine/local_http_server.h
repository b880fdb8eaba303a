// A small HTTP/1.0 server on 127.0.0.1 for engine tests: fixed pages by path, any other path
// answers 404.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LocalHttpServer {
 public:
  LocalHttpServer();
  ~LocalHttpServer();

  void Serve(const std::string& path, const std::string& body,
             const std::string& contentType = "text/html", int status = 200);
  std::string Url(const std::string& path) const;

 private:
  struct Page {
    int status;
    std::string type;
    std::string body;
  };
  void Run();
  void Answer(int client);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::map<std::string, Page> pages_;
  std::thread thread_;
  std::vector<std::thread> clients_;  // accept thread only, joined at the end
};
