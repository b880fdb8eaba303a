// The demo's HTTP server: serves files of its folder with status 200 and nothing outside it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "local_web_server.h"

namespace fs = std::filesystem;

namespace {

// Sends one raw request and returns the whole answer.
std::string Fetch(const std::string& origin, const std::string& requestLine) {
  const int port = std::stoi(origin.substr(origin.rfind(':') + 1));
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return "";
  }
  const std::string request = requestLine + "\r\nHost: 127.0.0.1\r\n\r\n";
  if (write(fd, request.data(), request.size()) < 0) return "";
  std::string answer;
  char chunk[4096];
  ssize_t n = 0;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) answer.append(chunk, static_cast<std::size_t>(n));
  close(fd);
  return answer;
}

TEST(LocalWebServer, ServesItsFolderAndNothingElse) {
  const fs::path base = fs::temp_directory_path() / ("tavrimon-web-" + std::to_string(getpid()));
  fs::create_directories(base / "site" / "sub");
  std::ofstream(base / "site" / "index.html") << "<p>demo</p>";
  std::ofstream(base / "site" / "sub" / "a.css") << "p{}";
  std::ofstream(base / "secret.txt") << "outside";

  LocalWebServer server((base / "site").string());
  ASSERT_TRUE(server.start());
  ASSERT_EQ(server.origin().rfind("http://127.0.0.1:", 0), 0u);

  struct Case {
    const char* request;
    const char* status;
    const char* contains;
  };
  const Case cases[] = {
      {"GET /index.html HTTP/1.1", "HTTP/1.1 200", "<p>demo</p>"},
      {"GET / HTTP/1.1", "HTTP/1.1 200", "<p>demo</p>"},
      {"GET /index.html?x=1 HTTP/1.1", "HTTP/1.1 200", "text/html"},
      {"GET /sub/a.css HTTP/1.1", "HTTP/1.1 200", "text/css"},
      {"GET /../secret.txt HTTP/1.1", "HTTP/1.1 404", ""},
      {"GET /sub/../../secret.txt HTTP/1.1", "HTTP/1.1 404", ""},
      {"GET /missing.html HTTP/1.1", "HTTP/1.1 404", ""},
      {"POST /index.html HTTP/1.1", "HTTP/1.1 405", ""},
  };
  for (const Case& c : cases) {
    const std::string answer = Fetch(server.origin(), c.request);
    EXPECT_EQ(answer.rfind(c.status, 0), 0u) << c.request << "\n" << answer;
    EXPECT_NE(answer.find(c.contains), std::string::npos) << c.request << "\n" << answer;
    EXPECT_EQ(answer.find("outside"), std::string::npos) << c.request;
  }
  fs::remove_all(base);
}

}  // namespace
