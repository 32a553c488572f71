// Reading a regular file on POSIX: opened without blocking (a FIFO's open
// would wait for a writer), then taken only when it is a regular file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "core/RegularFile.h"

namespace quorvel {
namespace {

std::optional<std::string> Refuse(std::string* why, const std::string& reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                           std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return Refuse(why, std::generic_category().message(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Refuse(why, "not a regular file");
    }
    std::string bytes(maxBytes, '\0');
    std::size_t done = 0;
    while (done < maxBytes) {
        const ssize_t n = ::read(fd, bytes.data() + done, maxBytes - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return Refuse(why, std::generic_category().message(error));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

}  // namespace quorvel
