// Every test process that launches renderers keeps the host-instance mutex to itself.
#include <gtest/gtest.h>

#include "private_machine.h"

namespace {

class PrivateMachine : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(EnterPrivateMachine()) << "a machine of its own (namespaces) needs root";
  }
};
const auto* const privateMachine = ::testing::AddGlobalTestEnvironment(new PrivateMachine);

}  // namespace
