#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel::testing {

// A named pipe for tests of code that must never open one and wait. Should
// the code under test wait on it after all, a writer comes along after a few
// seconds and lets it go, so the test fails (Rescued()) instead of hanging.
class Fifo {
  public:
    explicit Fifo(std::string path) : m_path(std::move(path)) {
        ::mkfifo(m_path.c_str(), 0600);
        m_rescuer = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (m_done.wait_for(lock, std::chrono::seconds(5), [this] { return m_finished; })) {
                return;
            }
            m_rescued = true;
            const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);  // a reader waiting in open() goes on and reads the end
            }
        });
    }
    ~Fifo() {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_rescuer.join();
        ::unlink(m_path.c_str());
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    const std::string& Path() const { return m_path; }
    // Someone waited on the pipe until the rescue came.
    bool Rescued() const { return m_rescued.load(); }

  private:
    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;  // guarded by m_mutex
    std::atomic<bool> m_rescued{false};
    std::thread m_rescuer;
};

}  // namespace quorvel::testing
