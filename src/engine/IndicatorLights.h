#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "serial/ModemLines.h"

namespace quorvel {

// What a display that looks now and then (a take) shows of a port's line
// indicators, so that nothing that happened between two looks goes unseen.
// Each is used under its owner's lock.

// TXD or RXD: lit while a transfer is under way and for `kActivityMs` after
// bytes last moved.
class ActivityLight {
  public:
    static constexpr std::uint64_t kActivityMs = 100;

    // Bytes moved at `nowMs`; `busy`: a transfer goes on (TXD between the
    // start and the end of a write). True when the display must look soon:
    // the light is not shown lit yet, or a transfer just ended.
    bool Moved(std::uint64_t nowMs, bool busy);
    // What the display is to show at `nowMs` when it differs from what it
    // shows; `againInMs` is lowered to when it must look again for the light
    // to go out.
    std::optional<bool> Take(std::uint64_t nowMs, std::optional<std::uint64_t>& againInMs);
    // The display starts afresh with the light out.
    void Reset() { *this = ActivityLight{}; }

  private:
    bool Lit(std::uint64_t nowMs) const;

    bool m_busy = false;
    bool m_moved = false;  // bytes have moved at some time
    std::uint64_t m_lastMs = 0;
    bool m_shown = false;
};

// The six modem lines: each shows its level, and a line that changed and
// changed back between two looks is shown changed for one look, then as it
// stands.
class LineLights {
  public:
    // The lines as they stand now; true when the display must look.
    bool Set(const ModemLines& lines);
    // What the display is to show when anything moved since it last looked;
    // `againInMs` is lowered to 0 while a pulse is still to be ended.
    std::optional<ModemLines> Take(std::optional<std::uint64_t>& againInMs);
    // The display starts afresh with every light out.
    void Reset() { *this = LineLights{}; }

  private:
    static constexpr std::array<bool ModemLines::*, 6> kLines{&ModemLines::cts, &ModemLines::dsr,
                                                              &ModemLines::dcd, &ModemLines::ri,
                                                              &ModemLines::dtr, &ModemLines::rts};

    ModemLines m_level;
    ModemLines m_shown;
    std::array<bool, 6> m_moved{};  // the line changed since the display last showed it
};

}  // namespace quorvel
