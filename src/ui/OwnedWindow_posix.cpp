// Owned windows on Linux: on X11 the window carries the EWMH state "skip
// taskbar" from the start (task bars differ in what they make of a transient
// window alone); elsewhere (Wayland, offscreen) nothing is asked.
#include <QGuiApplication>
#include <QWidget>

#include "ui/OwnedWindow.h"

#if defined(QUORVEL_HAVE_X11) && QT_CONFIG(xcb)
#define QUORVEL_X11_STATES 1
// Qt's headers first: X11's macros (None, Bool, Status ...) would break them.
#include <QtGui/qguiapplication_platform.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
// clang-format on
#endif

namespace quorvel {

#if defined(QUORVEL_X11_STATES)

void KeepOffTaskBar(QWidget& window) {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) {
        return;
    }
    // Before the window is mapped its state is a property of its own; Qt
    // keeps the states it does not set itself when it maps the window.
    const auto id = static_cast<::Window>(window.winId());
    Atom skip = XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False);
    XChangeProperty(display, id, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeAppend, reinterpret_cast<unsigned char*>(&skip), 1);
    XFlush(display);
}

#else

void KeepOffTaskBar(QWidget& /*window*/) {}

#endif

}  // namespace quorvel
