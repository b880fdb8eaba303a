// The video converter against real pixel data: every BGRA pixel must come out as its blue,
// green and red bytes, whatever the size, and a frame is never read past its end.
#include "client/conv_v.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "guarded_buffer.h"

namespace {

struct Size {
  int width;
  int height;
};

// A painted frame of random bytes at the very end of a guarded mapping.
class PaintedFrame {
 public:
  PaintedFrame(Size size, uint32_t seed)
      : size_(size), pixels_(4 * static_cast<size_t>(size.width) * size.height) {
    std::mt19937 random(seed);
    for (size_t i = 0; i < pixels_.size(); ++i) {
      pixels_.data()[i] = static_cast<uint8_t>(random());
    }
  }

  const void* data() { return pixels_.data(); }

  // BGR24 of the frame: each pixel's first three bytes, alpha dropped, rows without gaps.
  std::vector<uint8_t> ExpectedBgr() {
    std::vector<uint8_t> bgr;
    bgr.reserve(3 * static_cast<size_t>(size_.width) * size_.height);
    for (size_t i = 0; i < pixels_.size(); i += 4) {
      bgr.insert(bgr.end(), pixels_.data() + i, pixels_.data() + i + 3);
    }
    return bgr;
  }

 private:
  Size size_;
  GuardedBuffer pixels_;
};

std::vector<uint8_t> Output(conv_v& converter) {
  std::vector<uint8_t> out;
  converter.ReadOutput([&](const uint8_t* buffer, int64_t size) {
    if (buffer != nullptr && size > 0) {
      out.assign(buffer, buffer + size);
    }
  });
  return out;
}

int64_t OutputSize(conv_v& converter) {
  int64_t result = -1;
  converter.ReadOutput([&](const uint8_t*, int64_t size) { result = size; });
  return result;
}

class ConvVSizes : public testing::TestWithParam<Size> {};

TEST_P(ConvVSizes, DropsAlphaAndKeepsEveryPixel) {
  const Size size = GetParam();
  conv_v converter;
  converter.Build(size.width, size.height);
  ASSERT_TRUE(converter.initialized);
  EXPECT_EQ(OutputSize(converter), 3LL * size.width * size.height);

  // Two different frames in a row: the second must replace the first, not leave it.
  for (uint32_t seed : {1u, 2u}) {
    PaintedFrame frame(size, seed);
    ASSERT_TRUE(converter.Convert(frame.data(), size.width, size.height));
    EXPECT_EQ(Output(converter), frame.ExpectedBgr()) << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(OddAndEvenSizes, ConvVSizes,
                         testing::Values(Size{1, 1}, Size{3, 2}, Size{7, 5}, Size{33, 17},
                                         Size{1281, 3}, Size{1280, 720}),
                         [](const testing::TestParamInfo<Size>& p) {
                           return std::to_string(p.param.width) + "x" +
                                  std::to_string(p.param.height);
                         });

TEST(ConvV, BufferSizeAt1280x720) {
  conv_v converter;
  converter.Build(1280, 720);
  ASSERT_TRUE(converter.initialized);
  EXPECT_EQ(OutputSize(converter), 2764800);
}

// Every way a converter refuses a frame: nothing is read from the frame (one guarded pixel, so
// a read past it faults), it reports no conversion, and a later build works as usual.
struct Refusal {
  const char* name;
  std::function<void(conv_v&)> prepare;
  Size painted;
  bool builtAfter;          // `initialized` once the frame was refused
  int64_t outputSizeAfter;  // what ReadOutput then reports
};

class ConvVRefusals : public testing::TestWithParam<Refusal> {};

TEST_P(ConvVRefusals, ConvertNothingAndLeaveLaterBuildsAlone) {
  const Refusal& refusal = GetParam();
  conv_v converter;
  refusal.prepare(converter);
  PaintedFrame pixel({1, 1}, 5);
  EXPECT_FALSE(converter.Convert(pixel.data(), refusal.painted.width, refusal.painted.height));
  EXPECT_EQ(converter.initialized, refusal.builtAfter);
  EXPECT_EQ(OutputSize(converter), refusal.outputSizeAfter);

  converter.Build(2, 2);
  EXPECT_TRUE(converter.initialized);
  EXPECT_EQ(OutputSize(converter), 12);
}

const Refusal kRefusals[] = {
    {"NeverBuilt", [](conv_v&) {}, {4, 4}, false, 0},
    {"BuiltWithoutWidth", [](conv_v& c) { c.Build(0, 720); }, {0, 720}, false, 0},
    {"BuiltWithoutHeight", [](conv_v& c) { c.Build(1280, 0); }, {1280, 0}, false, 0},
    {"BuiltWithANegativeWidth", [](conv_v& c) { c.Build(-4, 4); }, {-4, 4}, false, 0},
    {"BuiltWithANegativeHeight", [](conv_v& c) { c.Build(4, -4); }, {4, -4}, false, 0},
    // Far beyond what FFmpeg accepts for one image.
    {"BuiltBeyondFfmpeg", [](conv_v& c) { c.Build(100000, 100000); }, {100000, 100000}, false, 0},
    // A zero-size paint drops that frame only.
    {"ZeroWidthPaint", [](conv_v& c) { c.Build(8, 8); }, {0, 8}, true, 3 * 8 * 8},
    {"ZeroHeightPaint", [](conv_v& c) { c.Build(8, 8); }, {8, 0}, true, 3 * 8 * 8},
    {"AfterReset",
     [](conv_v& c) {
       c.Build(16, 16);
       c.Reset();
     },
     {16, 16},
     false,
     0},
};

INSTANTIATE_TEST_SUITE_P(States, ConvVRefusals, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& p) { return p.param.name; });

// A paint of another size while the converter is still built for the old one: the frame sits
// at the end of a guarded mapping, so reading it with the old size would fault.
TEST(ConvV, PaintedSizeChangeRebuildsInsteadOfReadingPastTheFrame) {
  struct Change {
    Size built;
    Size painted;
  };
  const Change changes[] = {
      {{64, 48}, {32, 24}},  // smaller both ways
      {{64, 48}, {63, 48}},  // one column fewer
      {{64, 48}, {64, 47}},  // one row fewer
      {{32, 24}, {80, 60}},  // larger
      {{5, 3}, {1920, 1}},   // wider, one row
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(std::to_string(change.built.width) + "x" + std::to_string(change.built.height) +
                 " -> " + std::to_string(change.painted.width) + "x" +
                 std::to_string(change.painted.height));
    conv_v converter;
    converter.Build(change.built.width, change.built.height);
    ASSERT_TRUE(converter.initialized);

    PaintedFrame frame(change.painted, 7);
    ASSERT_TRUE(converter.Convert(frame.data(), change.painted.width, change.painted.height));
    EXPECT_TRUE(converter.initialized);
    EXPECT_EQ(Output(converter), frame.ExpectedBgr());
  }
}

TEST(ConvV, ClearedFlagMakesNextBuildUseTheNewSize) {
  conv_v converter;
  converter.Build(16, 16);
  PaintedFrame first({16, 16}, 1);
  ASSERT_TRUE(converter.Convert(first.data(), 16, 16));

  // What the browser source does after applying new settings.
  converter.initialized = false;
  PaintedFrame stale({16, 16}, 2);
  EXPECT_FALSE(converter.Convert(stale.data(), 16, 16));

  converter.Build(9, 5);
  PaintedFrame second({9, 5}, 3);
  ASSERT_TRUE(converter.Convert(second.data(), 9, 5));
  EXPECT_EQ(Output(converter), second.ExpectedBgr());
}

}  // namespace
