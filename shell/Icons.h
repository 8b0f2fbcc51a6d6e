#pragma once

#include <QIcon>
#include <QImage>

// The shell's pictures, drawn for this program and built into it.
namespace kestra::shell {

enum class ShellIcon { Frame, Console, Shutdown, Fatal, Help };

QIcon LoadShellIcon(ShellIcon icon);

// The built-in splash picture, decoded like any splash file.
QImage BuiltInSplashImage();

} // namespace kestra::shell
