// The lock keys on Linux: the keyboard's indicators on X11, when libX11 is
// there and Qt was built for xcb; nothing elsewhere (Wayland, offscreen).
#include <QGuiApplication>

#include "ui/KeyboardLocks.h"

#if defined(QUORVEL_HAVE_X11) && QT_CONFIG(xcb)
#define QUORVEL_X11_LOCKS 1
// Qt's headers first: X11's macros (None, Bool, Status ...) would break them.
#include <QtGui/qguiapplication_platform.h>
// clang-format off
#include <X11/XKBlib.h>
// clang-format on
#endif

namespace quorvel {

#if defined(QUORVEL_X11_LOCKS)

namespace {

bool IndicatorOn(Display* display, const char* name) {
    Bool on = False;
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) {
        return false;  // a keyboard without that light
    }
    return on == True;
}

}  // namespace

std::optional<KeyboardLocks> QueryKeyboardLocks() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) {
        return std::nullopt;
    }
    return KeyboardLocks{IndicatorOn(display, "Caps Lock"), IndicatorOn(display, "Num Lock"),
                         IndicatorOn(display, "Scroll Lock")};
}

#else

std::optional<KeyboardLocks> QueryKeyboardLocks() {
    return std::nullopt;
}

#endif

}  // namespace quorvel
