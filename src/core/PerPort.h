#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <utility>

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
    PerPort() = default;
    // Each port's value made by `make(port)`, in place: the values need be
    // neither copyable nor movable.
    template <typename Make>
    requires std::invocable<Make&, int>
    explicit PerPort(Make make) : PerPort(make, std::make_integer_sequence<int, kPortCount>{}) {}

    T& operator[](int port) { return m_items[static_cast<std::size_t>(port)]; }
    const T& operator[](int port) const { return m_items[static_cast<std::size_t>(port)]; }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }
    static constexpr int size() { return kPortCount; }

    bool operator==(const PerPort&) const = default;

  private:
    template <typename Make, int... Ports>
    PerPort(Make& make, std::integer_sequence<int, Ports...>) : m_items{make(Ports)...} {}

    std::array<T, kPortCount> m_items{};
};

}  // namespace quorvel
