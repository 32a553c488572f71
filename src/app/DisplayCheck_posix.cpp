// On Linux Qt shows its windows on an X server (xcb) unless told otherwise;
// a Wayland session may take it to Wayland, which is left to Qt.
#include <cstdlib>

#include "app/DisplayCheck.h"

#if defined(QUORVEL_HAVE_X11)
#include <X11/Xlib.h>
#endif

namespace quorvel {
namespace {

// The value after Qt's option `name` (given as -name or --name); empty if absent.
std::string OptionValue(const std::vector<std::string>& args, const std::string& name) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-" + name || args[i] == "--" + name) {
            return args[i + 1];
        }
    }
    return {};
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The first platform asked for ("xcb" of "xcb;offscreen", "vnc" of
// "vnc:size=800x600"); empty when none is.
std::string PlatformAskedFor(const std::vector<std::string>& args) {
    std::string platform = OptionValue(args, "platform");
    if (platform.empty()) {
        platform = Environment("QT_QPA_PLATFORM");
    }
    return platform.substr(0, platform.find_first_of(";:"));
}

// True when the X server named by `display` (the environment's DISPLAY when
// empty) takes a connection.
bool XServerAnswers(const std::string& display) {
#if defined(QUORVEL_HAVE_X11)
    Display* connection = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (connection == nullptr) {
        return false;
    }
    XCloseDisplay(connection);
#else
    (void)display;
#endif
    return true;
}

constexpr const char* kHowToRunAnyway =
    "; run it under xvfb-run (xvfb-run quorvel --simulated-card), or with Qt's VNC platform "
    "(quorvel -platform vnc --simulated-card) and a VNC viewer on localhost:5900";

}  // namespace

std::string NoDisplayMessage(const std::vector<std::string>& args) {
    const std::string platform = PlatformAskedFor(args);
    if (platform.empty() ? !Environment("WAYLAND_DISPLAY").empty() : platform != "xcb") {
        return {};  // a platform without an X server, or a Wayland session
    }
    std::string display = OptionValue(args, "display");
    const bool named = !display.empty();
    if (!named) {
        display = Environment("DISPLAY");
    }
    if (display.empty()) {
        return std::string("no display found (DISPLAY is not set)") + kHowToRunAnyway;
    }
    if (!XServerAnswers(named ? display : std::string())) {
        return "no display found (the X display " + display + " does not answer)" + kHowToRunAnyway;
    }
    return {};
}

}  // namespace quorvel
