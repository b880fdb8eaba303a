// Every test process that launches renderers keeps the host-instance mutex to itself.
#include <gtest/gtest.h>

#include "private_network.h"

namespace {

class PrivateNetwork : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(EnterPrivateNetwork()) << "a private network namespace needs root";
  }
};
const auto* const privateNetwork = ::testing::AddGlobalTestEnvironment(new PrivateNetwork);

}  // namespace
