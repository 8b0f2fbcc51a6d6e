#include "platform/qt/KeyLocks.h"

#include <QGuiApplication>
#include <X11/XKBlib.h>

namespace kestra::platform {
namespace {

Display* X11Display() {
    const auto* x11 = qGuiApp != nullptr
                          ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

} // namespace

unsigned LockModifiers(quint32 keysym) {
    Display* display = X11Display();
    return display != nullptr && keysym != 0 ? XkbKeysymToModifiers(display, keysym) : 0;
}

void SetLockModifiers(unsigned mask, bool on) {
    Display* display = X11Display();
    if (display != nullptr && mask != 0) {
        XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0);
        XFlush(display);
    }
}

} // namespace kestra::platform
