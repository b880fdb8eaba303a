#include "local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace {

// Requests larger than this (headers and body) are dropped.
constexpr size_t kMaxRequest = 1 << 20;

}  // namespace

LocalHttpServer::LocalHttpServer(Handler handler, bool anyOrigin)
    : handler_(std::move(handler)), anyOrigin_(anyOrigin) {
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
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
  stop_ = true;
  acceptor_.join();
  for (auto& t : clients_) t.join();
  close(listener_);
}

void LocalHttpServer::Serve(const std::string& path, const std::string& body,
                            const std::string& contentType, int status) {
  std::lock_guard lock(mutex_);
  pages_[path] = Response{status, contentType, body};
}

std::string LocalHttpServer::Origin() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void LocalHttpServer::AcceptLoop() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    // One thread per connection: the engine opens connections ahead of use and may leave
    // them idle, and a handler may hold a request open; neither must hold up the others.
    clients_.emplace_back([this, client] {
      Answer(client);
      close(client);
    });
  }
}

void LocalHttpServer::Answer(int client) {
  std::string data;
  char buf[4096];
  size_t headerEnd = std::string::npos;
  size_t bodyLength = 0;
  for (;;) {
    if (headerEnd == std::string::npos) {
      headerEnd = data.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        std::string headers = data.substr(0, headerEnd);
        for (const char* key : {"Content-Length:", "content-length:"}) {
          if (size_t at = headers.find(key); at != std::string::npos) {
            bodyLength = std::strtoul(headers.c_str() + at + std::string(key).size(), nullptr, 10);
          }
        }
      }
    }
    if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + bodyLength) break;
    if (data.size() > kMaxRequest) return;
    pollfd p{client, POLLIN, 0};
    int r = poll(&p, 1, 100);
    if (stop_ || r < 0) return;
    if (r == 0) continue;
    ssize_t n = read(client, buf, sizeof buf);
    if (n <= 0) return;
    data.append(buf, static_cast<size_t>(n));
  }

  Request request;
  size_t methodEnd = data.find(' ');
  size_t targetEnd = data.find(' ', methodEnd + 1);
  request.method = data.substr(0, methodEnd);
  std::string target =
      methodEnd == std::string::npos ? "/" : data.substr(methodEnd + 1, targetEnd - methodEnd - 1);
  if (size_t q = target.find('?'); q != std::string::npos) {
    request.query = target.substr(q + 1);
    target.resize(q);
  }
  request.path = target;
  request.body = data.substr(headerEnd + 4, bodyLength);

  Response response = Route(request);
  std::string reason = response.status == 200   ? "OK"
                       : response.status == 404 ? "Not Found"
                                                : "Status";
  std::string text = "HTTP/1.0 " + std::to_string(response.status) + " " + reason +
                     "\r\nContent-Type: " + response.type +
                     "\r\nContent-Length: " + std::to_string(response.body.size()) +
                     (anyOrigin_ ? "\r\nAccess-Control-Allow-Origin: *" : "") +
                     "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + response.body;
  size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = send(client, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

LocalHttpServer::Response LocalHttpServer::Route(const Request& request) {
  if (handler_) {
    if (std::optional<Response> answer = handler_(request)) return *answer;
  }
  std::lock_guard lock(mutex_);
  if (auto page = pages_.find(request.path); page != pages_.end()) return page->second;
  return {404, "text/html", "<!doctype html><title>missing</title>not found"};
}
