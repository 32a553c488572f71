#pragma once

#include <gtest/gtest.h>

#include <string>

#include "card/SimulatedCard.h"
#include "fakes/EngineHarness.h"

namespace quorvel::testing {

// A base ahead of the harness, so the card outlives the runtime, whose end
// closes the ports on it.
struct CardOnPlugs {
    SimulatedCard m_card;
};

// The engine on a simulated card with a loopback plug on every port, the
// test's thread playing the GUI thread.
class EngineOnCard : public ::testing::Test, protected CardOnPlugs, protected EngineHarness {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_card.Start(&error)) << error;
        m_card.Install();
    }
};

}  // namespace quorvel::testing
