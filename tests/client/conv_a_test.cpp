// The audio converter against real sound: sines of known frequency and level go in as
// planar float packets and must come out as 44,100 Hz interleaved 16-bit stereo of the same
// frequency and level, without clicks or gaps between packets.
#include "client/conv_a.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

struct Tone {
  double frequency;
  double amplitude;  // of full scale
};

// Planar float packets of one sine per channel, continuous from packet to packet.
class ToneStream {
 public:
  ToneStream(int rate, std::vector<Tone> tones)
      : rate_(rate), tones_(std::move(tones)), planes_(tones_.size()) {}

  // The next packet of `frames` frames; the pointers stay valid until the next call.
  const float** Next(int frames) {
    pointers_.clear();
    for (size_t c = 0; c < tones_.size(); ++c) {
      planes_[c].resize(static_cast<size_t>(frames));
      for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(position_ + i) / rate_;
        planes_[c][static_cast<size_t>(i)] = static_cast<float>(
            tones_[c].amplitude * std::sin(2 * std::numbers::pi * tones_[c].frequency * t));
      }
      pointers_.push_back(planes_[c].data());
    }
    position_ += frames;
    return pointers_.data();
  }

 private:
  int rate_;
  std::vector<Tone> tones_;
  std::vector<std::vector<float>> planes_;
  std::vector<const float*> pointers_;
  int64_t position_ = 0;
};

// The block of the last packet as interleaved samples.
std::vector<int16_t> Block(conv_a& converter) {
  std::vector<int16_t> samples;
  converter.ReadOutput([&](const uint8_t* buffer, int32_t length) {
    samples.resize(static_cast<size_t>(length) / sizeof(int16_t));
    if (length > 0) {
      std::memcpy(samples.data(), buffer, static_cast<size_t>(length));
    }
  });
  return samples;
}

int32_t BlockLength(conv_a& converter) {
  int32_t result = -1;
  converter.ReadOutput([&](const uint8_t*, int32_t length) { result = length; });
  return result;
}

std::vector<int16_t> Channel(const std::vector<int16_t>& interleaved, size_t channel) {
  std::vector<int16_t> out;
  for (size_t i = channel; i < interleaved.size(); i += 2) {
    out.push_back(interleaved[i]);
  }
  return out;
}

struct Measured {
  double frequency = 0;  // from the zero crossings, interpolated between samples
  int peak = 0;
  int largestStep = 0;  // between neighbouring samples: a click or gap shows up here
};

Measured Measure(const std::vector<int16_t>& samples, int rate) {
  Measured m;
  double first = -1;
  double last = -1;
  int crossings = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    m.peak = std::max(m.peak, std::abs(static_cast<int>(samples[i])));
    if (i == 0) {
      continue;
    }
    const int a = samples[i - 1];
    const int b = samples[i];
    m.largestStep = std::max(m.largestStep, std::abs(b - a));
    if ((a < 0 && b >= 0) || (a >= 0 && b < 0)) {
      const double at = static_cast<double>(i - 1) + static_cast<double>(a) / (a - b);
      if (first < 0) {
        first = at;
      }
      last = at;
      ++crossings;
    }
  }
  if (crossings > 1) {
    m.frequency = (crossings - 1) / 2.0 / ((last - first) / rate);
  }
  return m;
}

// Checks one channel of the output against the tone that went in. The first output frames
// are left out: there the resampler's filter still rings from the sudden start of the sound.
void ExpectTone(const std::vector<int16_t>& samples, const Tone& tone) {
  const size_t warmUp = 64;
  ASSERT_GT(samples.size(), 10 * warmUp);
  const Measured m =
      Measure(std::vector<int16_t>(samples.begin() + warmUp, samples.end()), conv_a::kOutputRate);
  const double fullScale = 32768.0;
  EXPECT_NEAR(m.frequency, tone.frequency, tone.frequency * 0.001);
  EXPECT_NEAR(m.peak, tone.amplitude * fullScale, tone.amplitude * fullScale * 0.01);
  // The steepest a sine of this frequency and level gets from one output sample to the next.
  const double steepest =
      2 * std::numbers::pi * tone.frequency * tone.amplitude * fullScale / conv_a::kOutputRate;
  EXPECT_LE(m.largestStep, steepest * 1.05);
}

struct StreamCase {
  int rate;
  int packetFrames;  // 10 ms, as the browser delivers
};

class ConvAStreams : public testing::TestWithParam<StreamCase> {};

TEST_P(ConvAStreams, KeepsFrequencyLevelAndContinuity) {
  const StreamCase stream = GetParam();
  const Tone left{1000, 0.5};
  const Tone right{440, 0.25};
  conv_a converter(stream.rate, 2);
  ASSERT_TRUE(converter.IsUsable());

  ToneStream tones(stream.rate, {left, right});
  const int packets = 2 * stream.rate / stream.packetFrames;  // two seconds
  std::vector<int16_t> out;
  for (int p = 0; p < packets; ++p) {
    if (converter.Convert(tones.Next(stream.packetFrames), stream.packetFrames)) {
      const std::vector<int16_t> block = Block(converter);
      ASSERT_EQ(block.size() % 2, 0u);
      out.insert(out.end(), block.begin(), block.end());
    }
  }

  // No gap and nothing extra: two seconds in give two seconds out, less at most one packet
  // still held inside the resampler.
  const int64_t framesOut = static_cast<int64_t>(out.size() / 2);
  const int64_t expected = 2 * conv_a::kOutputRate;
  const int64_t onePacket =
      (static_cast<int64_t>(stream.packetFrames) * conv_a::kOutputRate + stream.rate - 1) /
      stream.rate;
  EXPECT_LE(framesOut, expected);
  EXPECT_GE(framesOut, expected - onePacket);

  {
    SCOPED_TRACE("left");
    ExpectTone(Channel(out, 0), left);
  }
  {
    SCOPED_TRACE("right");
    ExpectTone(Channel(out, 1), right);
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, ConvAStreams,
                         testing::Values(StreamCase{48000, 480}, StreamCase{44100, 441},
                                         StreamCase{32000, 320}, StreamCase{96000, 960},
                                         StreamCase{48000, 1024}),
                         [](const testing::TestParamInfo<StreamCase>& p) {
                           return std::to_string(p.param.rate) + "Hz_" +
                                  std::to_string(p.param.packetFrames);
                         });

TEST(ConvA, At44100HzSamplesAreOnlyConverted) {
  conv_a converter(44100, 2);
  ASSERT_TRUE(converter.IsUsable());
  // Values across the whole range, including both ends and beyond them (clipped).
  const std::vector<float> left = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -1.5f, 0.25f, 1e-5f};
  const std::vector<float> right = {-0.125f, 0.0f, 0.75f, -0.75f, 0.999f, -0.999f, 2.0f, 0.1f, 0};
  const int frames = static_cast<int>(left.size());
  for (int packet = 0; packet < 3; ++packet) {
    const float* planes[2] = {left.data(), right.data()};
    ASSERT_TRUE(converter.Convert(planes, frames));
    const std::vector<int16_t> block = Block(converter);
    ASSERT_EQ(block.size(), 2u * frames);
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < 2; ++c) {
        const float in = (c == 0 ? left : right)[static_cast<size_t>(i)];
        const long scaled = std::clamp(std::lround(in * 32768.0), -32768L, 32767L);
        EXPECT_NEAR(block[2 * static_cast<size_t>(i) + c], scaled, 1)
            << "packet " << packet << " frame " << i << " channel " << c;
      }
    }
  }
}

TEST(ConvA, OneInputPlaneIsHeardOnBothSides) {
  const Tone tone{750, 0.4};
  conv_a converter(48000, 1);
  ASSERT_TRUE(converter.IsUsable());
  ToneStream stream(48000, {tone});
  std::vector<int16_t> out;
  for (int p = 0; p < 100; ++p) {
    // Exactly one plane pointer, as the browser gives for a mono stream.
    const float* plane[1] = {stream.Next(480)[0]};
    if (converter.Convert(plane, 480)) {
      const std::vector<int16_t> block = Block(converter);
      out.insert(out.end(), block.begin(), block.end());
    }
  }
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(Channel(out, 0), Channel(out, 1));
  ExpectTone(Channel(out, 0), tone);
}

TEST(ConvA, MoreThanTwoPlanesUseTheFirstTwo) {
  const Tone left{1000, 0.5};
  const Tone right{300, 0.3};
  conv_a converter(48000, 6);
  ASSERT_TRUE(converter.IsUsable());
  ToneStream stream(48000, {left, right, {5000, 0.9}, {7000, 0.9}, {50, 0.9}, {9000, 0.9}});
  std::vector<int16_t> out;
  for (int p = 0; p < 100; ++p) {
    if (converter.Convert(stream.Next(480), 480)) {
      const std::vector<int16_t> block = Block(converter);
      out.insert(out.end(), block.begin(), block.end());
    }
  }
  ExpectTone(Channel(out, 0), left);
  ExpectTone(Channel(out, 1), right);
}

// Packets around the 16,384-byte (4,096-frame) limit of a block, counting the samples the
// resampler still holds from earlier packets.
TEST(ConvA, RefusesPacketsWhoseOutputWouldNotFit) {
  struct Case {
    int rate;
    int primingFrames;  // a normal packet first, so that the resampler holds samples
    int frames;
    bool fits;
  };
  const Case cases[] = {
      {44100, 0, 4096, true},      // exactly a full block
      {44100, 0, 4097, false},     //
      {44100, 441, 4096, true},    // nothing is held back without resampling
      {48000, 0, 4458, true},      // 4,095.8 frames out, rounded up to 4,096
      {48000, 0, 4459, false},     //
      {48000, 480, 4458, false},   // fits alone, not with the held samples
      {48000, 480, 4400, true},    //
      {8000, 0, 743, true},        // upsampling
      {8000, 0, 744, false},       //
      {192000, 0, 17832, true},    //
      {192000, 0, 17900, false},   //
      {48000, 0, 1000000, false},  //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz, primed with " + std::to_string(c.primingFrames) +
                 ", " + std::to_string(c.frames) + " frames");
    conv_a converter(c.rate, 2);
    ASSERT_TRUE(converter.IsUsable());
    ToneStream stream(c.rate, {{1000, 0.5}, {1000, 0.5}});
    if (c.primingFrames > 0) {
      ASSERT_TRUE(converter.Convert(stream.Next(c.primingFrames), c.primingFrames));
    }
    EXPECT_EQ(converter.Convert(stream.Next(c.frames), c.frames), c.fits);
    const int32_t length = BlockLength(converter);
    if (c.fits) {
      EXPECT_GT(length, 0);
      EXPECT_LE(length, conv_a::kBufferBytes);
      EXPECT_EQ(length % conv_a::kBytesPerFrame, 0);
    } else {
      EXPECT_EQ(length, 0);
    }
    // The converter goes on working after either outcome.
    const int next = c.rate / 100;
    EXPECT_TRUE(converter.Convert(stream.Next(next), next));
    EXPECT_GT(BlockLength(converter), 0);
  }
}

TEST(ConvA, RefusedPacketLeavesTheStreamIntact) {
  // An oversized packet in the middle of a stream is skipped without consuming anything, so
  // the packets around it join without a click.
  const Tone tone{1000, 0.5};
  conv_a converter(48000, 2);
  ToneStream stream(48000, {tone, tone});
  ToneStream oversized(48000, {{3000, 0.9}, {3000, 0.9}});
  std::vector<int16_t> out;
  for (int p = 0; p < 100; ++p) {
    if (p == 50) {
      EXPECT_FALSE(converter.Convert(oversized.Next(8000), 8000));
    }
    if (converter.Convert(stream.Next(480), 480)) {
      const std::vector<int16_t> block = Block(converter);
      out.insert(out.end(), block.begin(), block.end());
    }
  }
  ExpectTone(Channel(out, 0), tone);
}

TEST(ConvA, UnusableConverterProducesNoBlock) {
  struct Case {
    int rate;
    int channels;
  };
  const Case cases[] = {{0, 2}, {-48000, 2}, {48000, 0}, {48000, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channels");
    conv_a converter(c.rate, c.channels);
    EXPECT_FALSE(converter.IsUsable());
    std::vector<float> plane(480, 0.5f);
    const float* planes[2] = {plane.data(), plane.data()};
    EXPECT_FALSE(converter.Convert(planes, 480));
    EXPECT_EQ(BlockLength(converter), 0);
  }
}

TEST(ConvA, EmptyOrMissingInputProducesNoBlock) {
  conv_a converter(48000, 2);
  ASSERT_TRUE(converter.IsUsable());
  std::vector<float> plane(480, 0.5f);
  const float* planes[2] = {plane.data(), plane.data()};
  ASSERT_TRUE(converter.Convert(planes, 480));
  ASSERT_GT(BlockLength(converter), 0);

  const float* missingRight[2] = {plane.data(), nullptr};
  EXPECT_FALSE(converter.Convert(missingRight, 480));
  EXPECT_FALSE(converter.Convert(nullptr, 480));
  EXPECT_FALSE(converter.Convert(planes, 0));
  EXPECT_FALSE(converter.Convert(planes, -480));
  // A refused packet does not leave the previous block looking like its own.
  EXPECT_EQ(BlockLength(converter), 0);
}

}  // namespace
