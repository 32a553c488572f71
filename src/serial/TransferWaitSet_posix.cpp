// Waiting for several POSIX transfers at once: one poll over the ttys the
// writes wait for, and an eventfd through which another thread wakes it.
#include <sys/eventfd.h>

#include <algorithm>

#include "serial/TransferWaitSet.h"
#include "serial/Transfers_posix.h"

namespace quorvel {

namespace {

// A write that waits for its turn shows no descriptor; such a write is looked
// at again after this long.
constexpr std::uint32_t kTurnRecheckMs = 5;

}  // namespace

struct TransferWaitSet::Platform {
    int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);  // written by Wake, read by Wait
};

TransferWaitSet::TransferWaitSet() : m_platform(std::make_unique<Platform>()) {}

TransferWaitSet::~TransferWaitSet() {
    if (m_platform->wakeFd >= 0) {
        ::close(m_platform->wakeFd);
    }
}

void TransferWaitSet::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_platform->wakeFd, &one, sizeof one);
}

void TransferWaitSet::Wait(const std::vector<PendingTransfer*>& transfers, std::uint32_t waitMs) {
    std::vector<pollfd> entries{{m_platform->wakeFd, POLLIN, 0}};
    for (PendingTransfer* transfer : transfers) {
        pollfd entry{};
        const auto* write = dynamic_cast<const posix::PosixPendingWrite*>(transfer);
        if (write != nullptr && write->WaitableBy(entry)) {
            entries.push_back(entry);
        } else {
            waitMs = std::min(waitMs, kTurnRecheckMs);
        }
    }
    int rc = 0;
    do {
        rc = ::poll(entries.data(), entries.size(), posix::PollTimeout(waitMs));
    } while (rc < 0 && errno == EINTR);
    if (rc > 0 && (entries[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_platform->wakeFd, &count, sizeof count);
    }
}

}  // namespace quorvel
