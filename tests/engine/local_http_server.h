// A small HTTP/1.0 server on 127.0.0.1 (on a port of its own) for tests: fixed pages by path,
// the query ignored; a handler may answer requests first; any other path answers 404.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class LocalHttpServer {
 public:
  struct Request {
    std::string method, path, query, body;
  };
  struct Response {
    int status = 200;
    std::string type = "text/plain";
    std::string body;
  };
  // Sees every request before the fixed pages; nothing leaves the request to them. Runs on
  // the connection's own thread, so it may wait.
  using Handler = std::function<std::optional<Response>(const Request&)>;

  // `anyOrigin` lets pages of other origins read every answer.
  explicit LocalHttpServer(Handler handler = nullptr, bool anyOrigin = false);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  void Serve(const std::string& path, const std::string& body,
             const std::string& contentType = "text/html", int status = 200);
  std::string Origin() const;
  std::string Url(const std::string& path) const { return Origin() + path; }

 private:
  void AcceptLoop();
  void Answer(int client);
  Response Route(const Request& request);

  const Handler handler_;
  const bool anyOrigin_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::map<std::string, Response> pages_;
  std::thread acceptor_;
  std::vector<std::thread> clients_;  // accept thread only, joined at the end
};
