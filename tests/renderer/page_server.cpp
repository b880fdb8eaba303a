#include "page_server.h"

#include <cstdlib>

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

PageServer::~PageServer() {
  // Ends the script fetches held open, before the server waits for its connections.
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
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

std::optional<LocalHttpServer::Response> PageServer::Control(
    const LocalHttpServer::Request& request) {
  std::string name = QueryValue(request.query, "f");
  std::string document = QueryValue(request.query, "d");
  std::unique_lock lock(mutex_);
  if (request.path == "/hello") {
    currentDocument_[name] = document;
    ++documents_[name];
    changed_.notify_all();
    return LocalHttpServer::Response{};
  }
  if (request.path == "/script") {
    // Only the frame's current document gets scripts: a document that is going away may still
    // have a fetch open.
    auto ready = [&] {
      return stop_ || (currentDocument_[name] == document && !queued_[name].empty());
    };
    if (!changed_.wait_for(lock, kHoldScriptFetch, ready) || stop_) {
      return LocalHttpServer::Response{};
    }
    auto [id, code] = queued_[name].front();
    queued_[name].pop_front();
    return LocalHttpServer::Response{200, "text/plain", std::to_string(id) + "\n" + code};
  }
  if (request.path == "/result") {
    size_t nl = request.body.find('\n');
    if (nl != std::string::npos) {
      results_[std::atoi(request.body.substr(0, nl).c_str())] = request.body.substr(nl + 1);
      changed_.notify_all();
    }
    return LocalHttpServer::Response{};
  }
  return std::nullopt;
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
