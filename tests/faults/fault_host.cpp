// A host application the fault tests can kill: it holds the host-instance mutex, makes the
// link, starts tavrimon-browser and reports on standard output, one line per event:
//   fault_host BROWSER ID stream URL   show URL, print "streaming", then read frames until killed
//   fault_host BROWSER ID once URL     show URL, read a few frames, "close", print "exit CODE"
//   fault_host BROWSER ID settled URL  as once, but after taking the mutex prints "holding" and
//                                      makes the channels only once a line arrives on its input
//   fault_host BROWSER ID nochannels   never create the channels; print "exit CODE MS"
//   fault_host BROWSER ID serve URL    as stream, and answer lines on its input: "count" with
//                                      "frames N" (frames read so far), "release" by letting go
//                                      of the mutex alone, then "exit CODE" once the renderer ends
// Problems with the link print a line starting with "fault" and end the host with code 1.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "command_packet.h"
#include "elapsed.h"
#include "host_link.h"

namespace {

using Clock = std::chrono::steady_clock;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& why) {
  Say("fault " + why);
  std::exit(1);
}

// Brings up a link on channels that must start empty, and the page; returns when the first
// frame of the page's size arrived. `settle` waits, between taking the mutex and making the
// channels, for the test to say that the renderers of an earlier host of this id are gone.
void Show(HostLink& host, const std::string& browser, const std::string& url, bool settle) {
  if (!host.holdInstanceMutex()) Fail("no mutex");
  if (settle) {
    Say("holding");
    std::string go;
    if (!std::getline(std::cin, go)) Fail("no go-ahead");
  }
  if (!host.start()) Fail("no channels");
  if (ReadU32(host.videoChannel->view) != 0 || ReadU32(host.audioChannel->view) != 0) {
    Fail("stale block in a fresh channel");
  }
  if (host.readVideo(0) || host.readAudio(0)) Fail("stale signal on a fresh channel");
  const auto launched = Clock::now();
  if (!host.launch(browser)) Fail("launch");
  if (!host.connect(30000)) Fail("no command channel");
  if (ReadU32(host.commandChannel->view) != 0) Fail("stale packet in the command channel");
  if (host.readVideo(1000)) Fail("a frame before the first Update");

  host.settings.setImageFormat(1);
  host.settings.setViewport(320, 240);
  host.settings.setTarget(url);
  host.settings.Update();
  const auto deadline = Clock::now() + std::chrono::seconds(40);
  for (;;) {
    if (Clock::now() > deadline) Fail("no frame of the page");
    auto frame = host.readVideo(500);
    if (frame && frame->size() == 320u * 240 * 4) break;
  }
  Say("streaming " + std::to_string(MsSince(launched)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: fault_host BROWSER ID stream|serve|once|settled|nochannels [URL]\n");
    return 2;
  }
  const std::string browser = argv[1];
  const std::string mode = argv[3];
  HostLink host(std::atoi(argv[2]));

  if (mode == "nochannels") {
    if (!host.holdInstanceMutex()) Fail("no mutex");
    const auto launched = Clock::now();
    if (!host.launch(browser)) Fail("launch");
    auto code = host.waitExit(30000);
    if (!code) Fail("the renderer did not end");
    Say("exit " + std::to_string(*code) + " " + std::to_string(MsSince(launched)));
    return 0;
  }
  if (argc < 5) return 2;
  Show(host, browser, argv[4], mode == "settled");

  if (mode == "stream") {
    for (;;) host.readVideo(1000);  // until the test kills this process
  }
  if (mode == "serve") {
    std::atomic<long long> frames{0};
    std::atomic<bool> reading{true};
    std::thread reader([&] {
      while (reading) {
        if (host.readVideo(100)) ++frames;
      }
    });
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "count") Say("frames " + std::to_string(frames.load()));
      if (line == "release") break;
    }
    host.releaseInstanceMutex();  // the channels and the response event stay held
    auto code = host.waitExit(10000);
    reading = false;
    reader.join();
    if (!code) Fail("the renderer did not end");
    Say("exit " + std::to_string(*code));
    return 0;
  }
  for (int frames = 0; frames < 10; ++frames) {
    if (!host.readVideo(5000)) Fail("frames stopped");
  }
  if (!host.settings.isReady()) Fail("not ready");
  host.settings.close();
  auto code = host.waitExit(10000);
  if (!code) Fail("no exit after close");
  Say("exit " + std::to_string(*code));
  return 0;
}
