#include "local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

LocalHttpServer::LocalHttpServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, 64) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Run(); });
}

LocalHttpServer::~LocalHttpServer() {
  stop_ = true;
  thread_.join();
  for (auto& t : clients_) t.join();
  close(listener_);
}

void LocalHttpServer::Serve(const std::string& path, const std::string& body,
                            const std::string& contentType, int status) {
  std::lock_guard lock(mutex_);
  pages_[path] = Page{status, contentType, body};
}

std::string LocalHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LocalHttpServer::Run() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    // One thread per connection: the engine opens connections ahead of use and may leave
    // them idle, which must not hold up the others.
    clients_.emplace_back([this, client] {
      Answer(client);
      close(client);
    });
  }
}

void LocalHttpServer::Answer(int client) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd p{client, POLLIN, 0};
    int r = poll(&p, 1, 100);
    if (stop_) return;
    if (r == 0) continue;
    if (r < 0) return;
    ssize_t n = read(client, buf, sizeof buf);
    if (n <= 0) return;
    request.append(buf, static_cast<size_t>(n));
  }
  size_t start = request.find(' ');
  size_t end = request.find(' ', start + 1);
  std::string path = start == std::string::npos ? "/" : request.substr(start + 1, end - start - 1);
  if (size_t q = path.find('?'); q != std::string::npos) path.resize(q);
  Page page{404, "text/html", "<!doctype html><title>missing</title>not found"};
  {
    std::lock_guard lock(mutex_);
    if (auto it = pages_.find(path); it != pages_.end()) page = it->second;
  }
  std::string reason = page.status == 200 ? "OK" : page.status == 404 ? "Not Found" : "Status";
  std::string response = "HTTP/1.0 " + std::to_string(page.status) + " " + reason +
                         "\r\nContent-Type: " + page.type +
                         "\r\nContent-Length: " + std::to_string(page.body.size()) +
                         "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + page.body;
  size_t sent = 0;
  while (sent < response.size()) {
    ssize_t n = write(client, response.data() + sent, response.size() - sent);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}
