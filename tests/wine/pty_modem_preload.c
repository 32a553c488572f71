/*
 * Preloaded into wineserver and every Wine process of the Windows test run.
 *
 * A pseudo-terminal has no modem lines: TIOCMGET, TIOCMSET, TIOCMBIS and
 * TIOCMBIC fail on it with ENOTTY. Wine reads the modem status when a wait
 * for a communication event starts and while it waits; when that fails, every
 * WaitCommEvent ends at once with no event. Here those four requests succeed
 * on a pty slave, whose lines are those of a port with a loopback plug, as
 * the harness's card has on every port: DTR and RTS as the program last set
 * them (both on until then), CTS from RTS, and DSR, DCD and RI from DTR. So
 * waits behave as on a serial port, and a switched line is seen changing.
 *
 * Every open gets O_NOCTTY, so that a pty never becomes the controlling
 * terminal of wineserver (which opens the devices for its clients, by their
 * dosdevices links, not by /dev/pts names) and a closing peer never sends it
 * a hang-up. On anything but a terminal the flag does nothing.
 *
 * Everything else goes to the C library unchanged.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>

/* The C library's own function `name` (POSIX allows the copy of a symbol's
 * address into a function pointer; ISO C has no cast for it). */
static void find_next(const char* name, void* function_pointer, size_t size) {
    void* symbol = dlsym(RTLD_NEXT, name);
    memcpy(function_pointer, &symbol, size);
}

/* Linux's pty slaves: majors 136 to 143 (UNIX98_PTY_SLAVE_MAJOR and up). */
static int is_pty_slave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return 0;
    }
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

/* DTR and RTS as the program set them last, per pty (both on until then,
 * as after an open), whichever descriptor of this process set them. */
#define MAX_PTYS 2048 /* majors 136 to 143, 256 minors each */
static int g_output_lines[MAX_PTYS];
static unsigned char g_output_set[MAX_PTYS];
static const int kOutputLines = TIOCM_DTR | TIOCM_RTS;

/* The pty a slave descriptor leads to, 0 to MAX_PTYS - 1; -1 for none. */
static int pty_index(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return -1;
    }
    const int index = (int)(major(st.st_rdev) - 136) * 256 + (int)minor(st.st_rdev);
    return index >= 0 && index < MAX_PTYS && minor(st.st_rdev) < 256 ? index : -1;
}

static int output_lines(int fd) {
    const int pty = pty_index(fd);
    if (pty < 0 || !g_output_set[pty]) {
        return kOutputLines;
    }
    return g_output_lines[pty];
}

static void set_output_lines(int fd, int lines) {
    const int pty = pty_index(fd);
    if (pty >= 0) {
        g_output_lines[pty] = lines & kOutputLines;
        g_output_set[pty] = 1;
    }
}

/* A loopback plug: RTS to CTS, DTR to DSR, DCD and RI. */
static int plugged_lines(int outputs) {
    int lines = outputs;
    if (outputs & TIOCM_RTS) {
        lines |= TIOCM_CTS;
    }
    if (outputs & TIOCM_DTR) {
        lines |= TIOCM_DSR | TIOCM_CAR | TIOCM_RNG;
    }
    return lines;
}

static int answer_modem_request(int fd, unsigned long request, int* arg) {
    switch (request) {
        case TIOCMGET:
            *arg = plugged_lines(output_lines(fd));
            return 0;
        case TIOCMSET:
            set_output_lines(fd, *arg);
            return 0;
        case TIOCMBIS:
            set_output_lines(fd, output_lines(fd) | *arg);
            return 0;
        case TIOCMBIC:
            set_output_lines(fd, output_lines(fd) & ~*arg);
            return 0;
        default:
            return -1;
    }
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real_ioctl)(int, unsigned long, ...);
    if (real_ioctl == NULL) {
        find_next("ioctl", &real_ioctl, sizeof real_ioctl);
    }
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);

    const int result = real_ioctl(fd, request, arg);
    if (result == 0 || errno != ENOTTY || arg == NULL) {
        return result;
    }
    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
         request == TIOCMBIC) &&
        is_pty_slave(fd)) {
        return answer_modem_request(fd, request, (int*)arg);
    }
    errno = ENOTTY;
    return result;
}

/* The open family: the mode is passed on only when the flags need one. */
#define NEEDS_MODE(flags) (((flags) & O_CREAT) != 0 || ((flags) & O_TMPFILE) == O_TMPFILE)

/* Reads the optional mode argument that follows `flags`; 0 when there is none. */
#define TAKE_MODE(flags, mode)                    \
    do {                                          \
        if (NEEDS_MODE(flags)) {                  \
            va_list args;                         \
            va_start(args, flags);                \
            (mode) = (mode_t)va_arg(args, int);   \
            va_end(args);                         \
        }                                         \
    } while (0)

#define DEFINE_OPEN(name)                                   \
    int name(const char* path, int flags, ...) {            \
        static int (*real)(const char*, int, ...);          \
        if (real == NULL) {                                 \
            find_next(#name, &real, sizeof real);           \
        }                                                   \
        mode_t mode = 0;                                    \
        TAKE_MODE(flags, mode);                             \
        return real(path, flags | O_NOCTTY, mode);          \
    }

#define DEFINE_OPENAT(name)                                 \
    int name(int dirfd, const char* path, int flags, ...) { \
        static int (*real)(int, const char*, int, ...);     \
        if (real == NULL) {                                 \
            find_next(#name, &real, sizeof real);           \
        }                                                   \
        mode_t mode = 0;                                    \
        TAKE_MODE(flags, mode);                             \
        return real(dirfd, path, flags | O_NOCTTY, mode);   \
    }

DEFINE_OPEN(open)
DEFINE_OPEN(open64)
DEFINE_OPENAT(openat)
DEFINE_OPENAT(openat64)
