#include "client/channel_block_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "command_packet.h"
#include "host_link.h"
#include "unique_id.h"

namespace {

using namespace std::chrono_literals;

// A host's audio channel and a writer on the renderer's view of it.
class AudioChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.createAudioChannel());
    ASSERT_TRUE(renderersView->open());
  }
  HostLink host{UniqueInstanceId()};
  std::shared_ptr<MappingMem> renderersView =
      std::make_shared<MappingMem>(kAudioMappingBase, kAudioEventBase, kAudioRegionSize, host.id());
  ChannelBlockWriter writer{renderersView};
};

TEST_F(AudioChannel, WritesWholeBlocksAndDropsOversizedOnes) {
  std::vector<std::uint8_t> block(16384);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(writer.write(block.data(), block.size()));  // exactly the data area
  auto read = host.readAudio(2000);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, block);

  // One byte more than the area: nothing written, nothing signalled, old block intact.
  std::vector<std::uint8_t> tooBig(16385, 0xAB);
  EXPECT_FALSE(writer.write(tooBig.data(), tooBig.size()));
  EXPECT_FALSE(host.readAudio(100));
  EXPECT_EQ(ReadU32(host.audioChannel->view), 16384u);
  EXPECT_EQ(host.audioChannel->view[4 + 16383], block[16383]);
}

TEST(ChannelBlockWriter, AMissingChannelNeverHoldsUpTheWriter) {
  const int id = UniqueInstanceId();
  auto channel =
      std::make_shared<MappingMem>(kVideoMappingBase, kVideoEventBase, kVideoRegionSize, id);
  ChannelBlockWriter writer(channel);
  const std::uint8_t pixel[4] = {1, 2, 3, 4};

  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < 30; ++frame) EXPECT_FALSE(writer.write(pixel, sizeof pixel));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "a write waited for the host";
  EXPECT_TRUE(writer.opening());

  // The host shows up while the opener still retries: writes resume once it has opened.
  HostLink host(id);
  ASSERT_TRUE(host.createVideoChannel());
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  bool written = false;
  while (!written && std::chrono::steady_clock::now() < deadline) {
    written = writer.write(pixel, sizeof pixel);
    if (!written) std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(written);
  auto frame = host.readVideo(2000);
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, std::vector<std::uint8_t>(pixel, pixel + 4));
}

// The writer waits for the host to wake for the last block before it writes the next: a host
// late by less than the wait loses nothing, and one that is not reading costs only the wait,
// with its signal still there for it.
TEST_F(AudioChannel, AwaitsTheReaderOfTheLastBlockWithinTheTimeGiven) {
  const auto now = [] { return std::chrono::steady_clock::now(); };

  EXPECT_TRUE(writer.awaitReader(now())) << "nothing written yet: nothing to wait for";
  const std::uint8_t first[4] = {1, 1, 1, 1};
  const std::uint8_t second[4] = {2, 2, 2, 2};
  ASSERT_TRUE(writer.write(first, sizeof first));

  // Nobody reads: the wait ends at the time given, and the block is still signalled.
  auto start = now();
  EXPECT_FALSE(writer.awaitReader(start + 50ms));
  EXPECT_GE(now() - start, 50ms);
  auto read = host.readAudio(0);
  ASSERT_TRUE(read) << "the wait took the host's signal away";
  EXPECT_EQ((*read)[0], 1);

  // The host reads the next block late, but within the wait: it gets both blocks, one each.
  ASSERT_TRUE(writer.write(first, sizeof first));
  std::thread lateHost([&] {
    std::this_thread::sleep_for(100ms);
    read = host.readAudio(0);
  });
  start = now();
  EXPECT_TRUE(writer.awaitReader(start + 5s));
  EXPECT_GE(now() - start, 90ms);
  EXPECT_LT(now() - start, 4s);
  lateHost.join();
  ASSERT_TRUE(read);
  EXPECT_EQ((*read)[0], 1);
  ASSERT_TRUE(writer.write(second, sizeof second));
  read = host.readAudio(2000);
  ASSERT_TRUE(read);
  EXPECT_EQ((*read)[0], 2);
  EXPECT_FALSE(host.readAudio(0)) << "one signal a block";
}

}  // namespace
