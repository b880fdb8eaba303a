#include "page_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace {

// How long a page's script fetch is held open when nothing is queued for it.
constexpr auto kHoldScriptFetch = std::chrono::milliseconds(500);

std::string Decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

}  // namespace

PageServer::PageServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, 64) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

PageServer::~PageServer() {
  stop_ = true;
  changed_.notify_all();
  acceptor_.join();
  for (auto& t : clients_) t.join();
  close(listener_);
}

void PageServer::Serve(const std::string& path, const std::string& html) {
  std::lock_guard lock(mutex_);
  pages_[path] = html;
}

std::string PageServer::Origin() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

bool PageServer::WaitForDocuments(const std::string& name, int count,
                                  std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return documents_[name] >= count; });
}

int PageServer::Documents(const std::string& name) {
  std::lock_guard lock(mutex_);
  return documents_[name];
}

std::optional<std::string> PageServer::Run(const std::string& name, const std::string& code,
                                           std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  int id = nextId_++;
  queued_[name].emplace_back(id, code);
  changed_.notify_all();
  if (!changed_.wait_for(lock, timeout, [&] { return results_.count(id) != 0; })) {
    return std::nullopt;
  }
  return results_[id];
}

void PageServer::AcceptLoop() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    // One thread per connection: script fetches are held open while others go on.
    clients_.emplace_back([this, client] {
      Answer(client);
      close(client);
    });
  }
}

void PageServer::Answer(int client) {
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
    if (data.size() > (1 << 20)) return;
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
  std::string target = data.substr(methodEnd + 1, targetEnd - methodEnd - 1);
  if (size_t q = target.find('?'); q != std::string::npos) {
    request.query = target.substr(q + 1);
    target.resize(q);
  }
  request.path = target;
  request.body = data.substr(headerEnd + 4, bodyLength);

  Response response = Route(request);
  std::string reason = response.status == 200 ? "OK" : "Not Found";
  std::string text = "HTTP/1.0 " + std::to_string(response.status) + " " + reason +
                     "\r\nContent-Type: " + response.type +
                     "\r\nContent-Length: " + std::to_string(response.body.size()) +
                     "\r\nAccess-Control-Allow-Origin: *\r\nCache-Control: no-store" +
                     "\r\nConnection: close\r\n\r\n" + response.body;
  size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = send(client, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

PageServer::Response PageServer::Route(const Request& request) {
  std::string name = QueryValue(request.query, "f");
  std::string document = QueryValue(request.query, "d");
  std::unique_lock lock(mutex_);
  if (request.path == "/hello") {
    currentDocument_[name] = document;
    ++documents_[name];
    changed_.notify_all();
    return {};
  }
  if (request.path == "/script") {
    // Only the frame's current document gets scripts: a document that is going away may still
    // have a fetch open.
    auto ready = [&] {
      return stop_ || (currentDocument_[name] == document && !queued_[name].empty());
    };
    if (!changed_.wait_for(lock, kHoldScriptFetch, ready) || stop_) return {};
    auto [id, code] = queued_[name].front();
    queued_[name].pop_front();
    return {200, "text/plain", std::to_string(id) + "\n" + code};
  }
  if (request.path == "/result") {
    size_t nl = request.body.find('\n');
    if (nl != std::string::npos) {
      results_[std::atoi(request.body.substr(0, nl).c_str())] = request.body.substr(nl + 1);
      changed_.notify_all();
    }
    return {};
  }
  auto page = pages_.find(request.path);
  if (page == pages_.end()) return {404, "text/html", "not found"};
  return {200, "text/html", page->second};
}

std::string PageServer::QueryValue(const std::string& query, const std::string& key) {
  size_t at = 0;
  while (at <= query.size()) {
    size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(at, end - at);
    if (pair.compare(0, key.size() + 1, key + "=") == 0) return Decode(pair.substr(key.size() + 1));
    at = end + 1;
  }
  return "";
}
