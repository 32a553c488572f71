#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "fakes/Eventually.h"

namespace quorvel::testing {

// A pseudo-terminal pair: the program opens the slave like any tty; the test
// plays the other end on the master.
class PtyPair {
  public:
    PtyPair() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            const char* name = ::ptsname(m_master);
            m_slavePath = name ? name : "";
        }
        // The master end must not echo or translate what it is given.
        termios tio{};
        if (m_master >= 0 && ::tcgetattr(m_master, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_master, TCSANOW, &tio);
        }
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Valid() const { return m_master >= 0 && !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }

    // The device vanishes: the slave side sees a hang-up.
    void CloseMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    // Sends bytes to the program as if they came down the wire.
    bool Send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                pollfd entry{m_master, POLLOUT, 0};
                if (::poll(&entry, 1, 5000) <= 0) {
                    return false;
                }
                continue;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Collects what the program sent until `count` bytes arrived or nothing
    // came for `quietMs`.
    std::string Receive(std::size_t count, int quietMs = 2000) {
        std::string bytes;
        char buffer[4096];
        while (bytes.size() < count) {
            pollfd entry{m_master, POLLIN, 0};
            if (::poll(&entry, 1, quietMs) <= 0) {
                break;
            }
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

  private:
    int m_master = -1;
    std::string m_slavePath;
};

}  // namespace quorvel::testing
