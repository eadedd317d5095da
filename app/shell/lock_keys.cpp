#include "shell/lock_keys.h"

#ifdef AMBREL_HAVE_X11
#include <QGuiApplication>
#include <qguiapplication_platform.h>

#include <X11/XKBlib.h>

namespace {

bool Indicator(Display* display, const char* name, bool& on)
{
    const Atom atom = XInternAtom(display, name, True);
    int state = 0;
    if (atom == 0 || !XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
        return false;
    on = state != 0;
    return true;
}

} // namespace

bool ReadLockKeys(bool& capsLock, bool& numLock, bool& scrollLock)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    capsLock = numLock = scrollLock = false;
    const bool caps = Indicator(display, "Caps Lock", capsLock);
    const bool num = Indicator(display, "Num Lock", numLock);
    Indicator(display, "Scroll Lock", scrollLock);
    return caps || num;
}

#else

bool ReadLockKeys(bool&, bool&, bool&)
{
    return false;
}

#endif
