// The settings of one web-page source. The same class serves both ends of the link: in a host
// every setter sends its command packet and keeps the value; in the browser process the one
// instance inside the link object is the copy that the command server writes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "av_source.h"

class i_access;
class MappingMem;

class shr_avsource : public vcapture::IAVSource {
 public:
  using DataCallback = std::function<void(const std::uint8_t*, int, void*)>;

  explicit shr_avsource(i_access* owner);
  ~shr_avsource() override;
  shr_avsource(const shr_avsource&) = delete;
  shr_avsource& operator=(const shr_avsource&) = delete;

  bool setTarget(const std::string& url) override;
  void setViewport(int width, int height) override;
  void setRect(int x, int y, int width, int height) override;
  void getScrollPosition(int* x, int* y) override;
  void setScrollPosition(int a, int b) override;
  bool select(const std::string& css) override;
  void setImageFormat(int format) override;
  void setAudioFormat(const audio_format& format) override;
  bool connect() override;
  void close() override;
  void pause() override;
  void resume() override;
  void setDataCallback1(DataCallback fn, void* user) override;
  void setDataCallback2(DataCallback fn, void* user) override;
  int getIndex() override;
  const std::string& getTarget() override;
  const std::string& getCss() override;
  void getViewport(int* width, int* height) override;
  void getRect(int* x, int* y, int* width, int* height) override;
  int getImageFormat() override;
  void getAudioFormat(audio_format* out) override;
  bool isConnected() override;
  const std::string& getLabel() override;
  bool isReady() override;
  void setLabel(const std::string& label) override;
  void Update() override;
  bool isPaused() override;

  // Consistent copies of the strings the command server may be rewriting on its thread.
  std::string copyTarget() const;
  std::string copyCss() const;
  // The command server's writes of the strings.
  void storeTarget(std::string url);
  void storeCss(std::string css);

  // Flags and numbers are shared between threads without a lock; each is a single atomic.
  std::atomic<bool> connected{false};
  DataCallback dataCallback2;
  DataCallback dataCallback1;
  void* dataCallbackUser1 = nullptr;
  void* dataCallbackUser2 = nullptr;
  std::string childPath;
  HANDLE childProcess = nullptr;
  i_access* owner;
  bool offscreenCapture = true;
  std::atomic<bool> ready{false};
  std::atomic<std::int32_t> imageFormat{0};
  std::string target;
  std::atomic<std::int32_t> viewportWidth{640};
  std::atomic<std::int32_t> viewportHeight{480};
  std::int32_t rectX = 0;
  std::int32_t rectY = 0;
  std::int32_t rectWidth = 640;
  std::int32_t rectHeight = 480;
  std::string css = kDefaultCss;
  std::string label;
  std::atomic<std::int32_t> sampleRate{44100};
  std::atomic<std::int32_t> bitsPerSample{16};
  std::atomic<std::int32_t> channels{2};
  std::atomic<bool> paused{false};
  std::atomic<bool> updatePending{false};
  std::atomic<std::int32_t> instanceId{0};

  // How long isReady waits for the reply before it gives up and answers false.
  static constexpr DWORD kReadyReplyTimeoutMs = 5000;

  // How the host's senders space their packets. The region holds one packet and nothing
  // acknowledges it, so a packet written before the renderer has read the one before replaces
  // that one.
  //  - AwaitTaken (the default): before a packet is written, the sender waits until the
  //    renderer has taken the signal of the one before (at most kTakenWaitMs), then a further
  //    kReadMarginUs, in which the renderer copies the packet it woke for.
  //  - PauseOnly: the 100 us pause after each packet and nothing more, as the link's first
  //    senders did; kept to measure against. It loses packets on a busy machine.
  enum class SendPacing { AwaitTaken, PauseOnly };
  SendPacing sendPacing = SendPacing::AwaitTaken;
  static constexpr int kTakenWaitMs = 100;
  static constexpr int kReadMarginUs = 2000;

  // The default style sheet, kept character for character as the link's hosts know it, though
  // "bgr24(0, 0, 0)" is no CSS colour: the text is only stored and sent back, never applied.
  static constexpr const char* kDefaultCss =
      "body {background-color: bgr24(0, 0, 0); margin: 0px auto; overflow: hidden;}";

 private:
  enum class PauseAt { AfterSignal, BeforeSignal };
  // Copies a built packet into the command region and signals it, pausing 100 us before or
  // after the signal. False (nothing sent) when the channel is not usable or the packet is
  // empty because it would not fit the region.
  bool send(const char* name, const void* payload, std::size_t payloadSize, PauseAt pauseAt);
  // Waits, bounded, until the renderer has taken and read the last packet this sender wrote.
  void awaitPreviousTaken(MappingMem& channel);
  bool launch();

  mutable std::mutex textLock;  // guards target and css against the command server
  // Held while a packet is sent, and by isReady until its reply is read, so that senders on
  // several threads never write over each other's packets.
  std::recursive_mutex sendLock;
  bool packetOutstanding = false;  // a packet was signalled and not yet seen taken
};
