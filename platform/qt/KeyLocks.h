#pragma once

#include <QtGlobal>

// The lock states of the keyboard (NumLock's) as the window system keeps
// them. Where it keeps none for a key, or is not X11, there is nothing to
// read or change and every call does nothing.
namespace kestra::platform {

// The modifier bits that the lock of the key with this keysym sets; 0 when
// the key locks nothing.
unsigned LockModifiers(quint32 keysym);
// Locks the bits (on) or unlocks them.
void SetLockModifiers(unsigned mask, bool on);

} // namespace kestra::platform
