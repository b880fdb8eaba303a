// A stand-alone command server for the host-link tests: it brings up this process's end of
// the link for the instance id given as its argument and reports on standard output what the
// tests need to see:
//   "started", or "start-failed <text> <milliseconds>"
//   "state <fields>" each time the settings change
//   "scroll <a> <b>" for each call of the scroll handler (a == 1000 holds the server 500 ms,
//   a from 2000 to 2999 holds it 5 ms: a slow renderer)
// Standard input: "ready 0|1" sets the page-ready flag. End of input ends the process.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "i_server.h"
#include "scroll_handler.h"

namespace {

std::mutex outputLock;

void Say(const std::string& line) {
  std::lock_guard<std::mutex> guard(outputLock);
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void RecordScroll(int a, int b) {
  Say("scroll " + std::to_string(a) + " " + std::to_string(b));
  if (a == 1000) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  if (a >= 2000 && a < 3000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string State(shr_avsource& s) {
  return "state target=" + s.copyTarget() + "|viewport=" + std::to_string(s.viewportWidth) + "x" +
         std::to_string(s.viewportHeight) + "|format=" + std::to_string(s.imageFormat) +
         "|audio=" + std::to_string(s.sampleRate) + "/" + std::to_string(s.bitsPerSample) + "/" +
         std::to_string(s.channels) + "|css=" + s.copyCss() +
         "|paused=" + std::to_string(s.paused.load()) +
         "|update=" + std::to_string(s.updatePending.load()) +
         "|connected=" + std::to_string(s.connected.load());
}

}  // namespace

int main(int argc, char** argv) {
  const int id = argc == 2 ? std::atoi(argv[1]) : 0;
  auto* link = new i_server();
  link->mode = 1;
  link->instanceId = id;
  link->settings.instanceId = id;
  link->createChannels(id);
  SetScrollHandler(RecordScroll);

  const auto begin = std::chrono::steady_clock::now();
  auto failed = [&](const std::string& text) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - begin)
                        .count();
    Say("start-failed " + text + " " + std::to_string(ms));
    std::_Exit(3);
  };
  try {
    link->start();
  } catch (const char* text) {
    failed(text);
  } catch (const std::exception& error) {
    failed(error.what());
  }
  link->settings.connected = true;
  Say("started");

  std::thread input([link] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "ready 1") link->settings.ready = true;
      if (line == "ready 0") link->settings.ready = false;
      Say("ack " + line);
    }
    std::_Exit(0);
  });
  input.detach();

  std::string last;
  for (;;) {
    std::string now = State(link->settings);
    if (now != last) Say(now);
    last = std::move(now);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
