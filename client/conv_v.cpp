#include "client/conv_v.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstring>

conv_v::~conv_v() {
  std::lock_guard<std::mutex> guard(lock);
  ResetLocked();
}

void conv_v::Build(int width, int height) {
  std::lock_guard<std::mutex> guard(lock);
  BuildLocked(width, height);
}

void conv_v::BuildLocked(int width, int height) {
  if (scaler != nullptr || srcFrame != nullptr || dstFrame != nullptr || dstBuffer != nullptr) {
    ResetLocked();
  }
  if (width <= 0 || height <= 0) {
    return;
  }

  // Same size in and out: libswscale only reorders bytes and drops alpha.
  scaler = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_BGR24,
                          SWS_BICUBIC, nullptr, nullptr, nullptr);
  srcFrame = av_frame_alloc();
  dstFrame = av_frame_alloc();
  const int size = av_image_get_buffer_size(AV_PIX_FMT_BGR24, width, height, 1);
  if (scaler == nullptr || srcFrame == nullptr || dstFrame == nullptr || size <= 0) {
    ResetLocked();
    return;
  }

  // The source frame only describes the painted buffer's layout (row stride 4 x width);
  // the pixels stay in the caller's buffer.
  srcFrame->format = AV_PIX_FMT_BGRA;
  srcFrame->width = width;
  srcFrame->height = height;
  if (av_image_fill_arrays(srcFrame->data, srcFrame->linesize, nullptr, AV_PIX_FMT_BGRA, width,
                           height, 1) < 0) {
    ResetLocked();
    return;
  }

  dstBuffer = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size)));
  if (dstBuffer == nullptr) {
    ResetLocked();
    return;
  }
  std::memset(dstBuffer, 0, static_cast<size_t>(size));
  dstFrame->format = AV_PIX_FMT_BGR24;
  dstFrame->width = width;
  dstFrame->height = height;
  if (av_image_fill_arrays(dstFrame->data, dstFrame->linesize, dstBuffer, AV_PIX_FMT_BGR24, width,
                           height, 1) < 0) {
    ResetLocked();
    return;
  }

  dstSize = size;
  builtWidth = width;
  builtHeight = height;
  initialized = true;
}

bool conv_v::Convert(const void* bgra, int width, int height) {
  std::lock_guard<std::mutex> guard(lock);
  if (!initialized || bgra == nullptr || width <= 0 || height <= 0) {
    return false;
  }
  // The scaler reads as many rows and columns as it was built for; a painted frame of another
  // size gets a converter of its own size rather than being read past its end.
  if (width != builtWidth || height != builtHeight) {
    BuildLocked(width, height);
    if (!initialized) {
      return false;
    }
  }

  const uint8_t* const srcPlanes[1] = {static_cast<const uint8_t*>(bgra)};
  // A failed scale leaves the previous content (black right after a build), which is still
  // handed on as the frame.
  sws_scale(scaler, srcPlanes, srcFrame->linesize, 0, height, dstFrame->data, dstFrame->linesize);
  return true;
}

void conv_v::Reset() {
  std::lock_guard<std::mutex> guard(lock);
  ResetLocked();
}

void conv_v::ResetLocked() {
  initialized = false;
  if (dstFrame != nullptr) {
    av_frame_free(&dstFrame);
  }
  if (dstBuffer != nullptr) {
    av_free(dstBuffer);
    dstBuffer = nullptr;
  }
  if (scaler != nullptr) {
    sws_freeContext(scaler);
    scaler = nullptr;
  }
  if (srcFrame != nullptr) {
    av_frame_free(&srcFrame);
  }
  dstSize = 0;
  builtWidth = 0;
  builtHeight = 0;
}
