// The system's word on a port that did not open, on POSIX systems: errno's
// text, and what the operator can do about the usual causes.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/ComDeviceLookup.h"
#include "serial/SerialFailure.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// The name of the group that owns `device`; empty when it cannot be told.
std::string GroupOwning(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        return {};
    }
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(info.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found) {
        return {};
    }
    return found->gr_name;
}

// The program that has `device` open, as "minicom (process 4242)", found
// among the open files in /proc; empty when none is seen (a user who is not
// root does not see other users' programs there).
std::string HolderOf(const std::string& device) {
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) {
        return {};
    }
    for (fs::directory_iterator process("/proc", error), end; !error && process != end;
         process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code fdError;
        for (fs::directory_iterator fd(process->path() / "fd", fdError); !fdError && fd != end;
             fd.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd->path(), linkError) == target && !linkError) {
                std::string name;
                std::getline(std::ifstream(process->path() / "comm"), name);
                return name + " (process " + pid + ")";
            }
        }
    }
    return {};
}

}  // namespace

std::string SystemErrorText(int code) {
    return std::generic_category().message(code);
}

std::string SystemErrorHint(SerialStep step, const std::string& device, int code) {
    if (step == SerialStep::Busy || code == EBUSY) {
        const std::string holder = HolderOf(device);
        return (holder.empty() ? std::string("Another program") : holder) +
               " has the port open: close it there, then choose Test > Start again.";
    }
    if (code == EACCES || code == EPERM) {
        const std::string group = GroupOwning(device);
        if (group.empty()) {
            return "The user must be in the group that owns the device, such as \"dialout\", "
                   "and log in again after being added.";
        }
        return "The user must be in the group that owns the device, \"" + group +
               "\": sudo usermod -aG " + group + " $USER, then log in again.";
    }
    if (step == SerialStep::NoDevice || code == ENOENT || code == ENODEV || code == ENXIO) {
        return "Check that the card or adapter is in place and its driver loaded, or give the "
               "port's device in the device map " +
               DeviceMapPath() + " (a line such as \"COM4 /dev/ttyUSB0\").";
    }
    return {};
}

}  // namespace quorvel
