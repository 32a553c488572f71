#pragma once

#include <atomic>
#include <cstdint>

#include "core/TickClock.h"

namespace quorvel::testing {

// A clock the test moves by hand.
class ManualClock final : public TickClock {
  public:
    std::uint64_t NowMs() const override { return m_now.load(); }
    void Advance(std::uint64_t ms) { m_now += ms; }

  private:
    std::atomic<std::uint64_t> m_now{1'000'000};
};

}  // namespace quorvel::testing
