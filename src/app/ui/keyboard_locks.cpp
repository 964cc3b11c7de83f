#include "app/ui/keyboard_locks.h"

#ifdef BOXVISOR_HAVE_X11
#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace {
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
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return {};
    return {indicator(display, "Num Lock"), indicator(display, "Scroll Lock"),
            indicator(display, "Caps Lock")};
}
#else
KeyboardLocks readKeyboardLocks()
{
    return {};
}
#endif
