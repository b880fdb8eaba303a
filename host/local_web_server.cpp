#include "local_web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ContentType(const fs::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".js") return "text/javascript; charset=utf-8";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".png") return "image/png";
  if (ext == ".json") return "application/json";
  return "application/octet-stream";
}

void SendAll(int socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

std::string Response(int status, const std::string& reason, const std::string& type,
                     const std::string& body, bool withBody) {
  std::ostringstream head;
  head << "HTTP/1.1 " << status << ' ' << reason << "\r\nContent-Type: " << type
       << "\r\nContent-Length: " << body.size()
       << "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
  return head.str() + (withBody ? body : std::string());
}

// The file a request path names inside root, or empty when it would leave root or is no file.
fs::path Resolve(const fs::path& root, std::string target) {
  target = target.substr(0, target.find_first_of("?#"));
  if (target.empty() || target[0] != '/') return {};
  if (target.back() == '/') target += "index.html";
  const fs::path relative = fs::path(target.substr(1)).lexically_normal();
  for (const auto& part : relative) {
    if (part == "..") return {};
  }
  std::error_code error;
  const fs::path file = root / relative;
  if (!fs::is_regular_file(file, error)) return {};
  return file;
}

}  // namespace

LocalWebServer::LocalWebServer(std::string root) : root_(std::move(root)) {}

LocalWebServer::~LocalWebServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

bool LocalWebServer::start() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&LocalWebServer::serve, this);
  return true;
}

std::string LocalWebServer::origin() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void LocalWebServer::serve() {
  while (!stopping_) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    answer(client);
    close(client);
  }
}

void LocalWebServer::answer(int client) {
  // Read the request head; a slow or silent client is given up after a second.
  std::string request;
  char buffer[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
    pollfd entry{client, POLLIN, 0};
    if (poll(&entry, 1, 1000) <= 0) return;
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  std::istringstream line(request.substr(0, request.find("\r\n")));
  std::string method;
  std::string target;
  line >> method >> target;
  if (method != "GET" && method != "HEAD") {
    SendAll(client, Response(405, "Method Not Allowed", "text/plain", "", false));
    return;
  }
  const fs::path file = Resolve(root_, target);
  if (file.empty()) {
    SendAll(client, Response(404, "Not Found", "text/plain", "not found\n", method == "GET"));
    return;
  }
  std::string body;
  if (std::FILE* in = std::fopen(file.c_str(), "rb")) {
    char chunk[8192];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) body.append(chunk, n);
    std::fclose(in);
  }
  SendAll(client, Response(200, "OK", ContentType(file), body, method == "GET"));
}
