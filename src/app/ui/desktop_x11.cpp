#include "app/ui/desktop_x11.h"

#include <QWidget>

#ifdef BOXVISOR_HAVE_X11
#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

Display *x11Display()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

std::optional<bool> indicator(Display *display, const char *name)
{
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None)
        return std::nullopt;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
        return std::nullopt;
    return on != False;
}

} // namespace

KeyboardLocks readKeyboardLocks()
{
    Display *display = x11Display();
    if (!display)
        return {};
    return {indicator(display, "Num Lock"), indicator(display, "Scroll Lock"),
            indicator(display, "Caps Lock")};
}

bool setSkipTaskbar(QWidget *window, bool skip)
{
    Display *display = x11Display();
    if (!display || !window || !window->isVisible())
        return false;
    // The EWMH way: a _NET_WM_STATE client message to the root window, which the window
    // manager answers by adding or removing the state.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window->winId());
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD / _REMOVE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1; // sent by a normal application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
    return true;
}
#else
KeyboardLocks readKeyboardLocks()
{
    return {};
}

bool setSkipTaskbar(QWidget *, bool)
{
    return false;
}
#endif
