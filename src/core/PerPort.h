#pragma once

#include <array>
#include <cstddef>

namespace quorvel {

// The card has eight ports, 0 to 7 inside the program ("Port1" to "Port8" to
// the operator).
inline constexpr int kPortCount = 8;

// Whether `port` names one of the card's ports.
constexpr bool ValidPort(int port) {
    return port >= 0 && port < kPortCount;
}

// One value for each of the card's ports, indexed by port number. Callers
// pass only valid ports (ValidPort); the index is not checked again.
template <typename T>
class PerPort {
  public:
    T& operator[](int port) { return m_items[static_cast<std::size_t>(port)]; }
    const T& operator[](int port) const { return m_items[static_cast<std::size_t>(port)]; }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }
    static constexpr int size() { return kPortCount; }

    bool operator==(const PerPort&) const = default;

  private:
    std::array<T, kPortCount> m_items{};
};

}  // namespace quorvel
