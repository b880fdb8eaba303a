// The host-facing interface of one web-page source's settings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct audio_format {
  std::int32_t sampleRate;
  std::int32_t bitsPerSample;
  std::int32_t channels;
};

namespace vcapture {

class IAVSource {
 public:
  virtual ~IAVSource() = default;
  virtual bool setTarget(const std::string& url) = 0;
  virtual void setViewport(int width, int height) = 0;
  virtual void setRect(int x, int y, int width, int height) = 0;
  virtual void getScrollPosition(int* x, int* y) = 0;
  virtual void setScrollPosition(int a, int b) = 0;
  virtual bool select(const std::string& css) = 0;
  virtual void setImageFormat(int format) = 0;
  virtual void setAudioFormat(const audio_format& format) = 0;
  virtual bool connect() = 0;
  virtual void close() = 0;
  virtual void pause() = 0;
  virtual void resume() = 0;
  virtual void setDataCallback1(std::function<void(const std::uint8_t*, int, void*)> fn,
                                void* user) = 0;
  virtual void setDataCallback2(std::function<void(const std::uint8_t*, int, void*)> fn,
                                void* user) = 0;
  virtual int getIndex() = 0;
  virtual const std::string& getTarget() = 0;
  virtual const std::string& getCss() = 0;
  virtual void getViewport(int* width, int* height) = 0;
  virtual void getRect(int* x, int* y, int* width, int* height) = 0;
  virtual int getImageFormat() = 0;
  virtual void getAudioFormat(audio_format* out) = 0;
  virtual bool isConnected() = 0;
  virtual const std::string& getLabel() = 0;
  virtual bool isReady() = 0;
  virtual void setLabel(const std::string& label) = 0;
  virtual void Update() = 0;
  virtual bool isPaused() = 0;
};

}  // namespace vcapture
