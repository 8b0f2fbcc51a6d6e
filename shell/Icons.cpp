#include "shell/Icons.h"

#include "shell/SplashBitmap.h"

#include <QFile>

// The resources live in a static library: nothing would pull their
// registration into the program unless something names it.
static void InitialiseShellResources() {
    Q_INIT_RESOURCE(kestra);
}

namespace kestra::shell {
namespace {

void EnsureResources() {
    static const bool initialised = (InitialiseShellResources(), true);
    (void)initialised;
}

} // namespace

QIcon LoadShellIcon(ShellIcon icon) {
    EnsureResources();
    switch (icon) {
    case ShellIcon::Frame: return QIcon(QStringLiteral(":/icons/frame.png"));
    case ShellIcon::Console: return QIcon(QStringLiteral(":/icons/console.png"));
    case ShellIcon::Shutdown: return QIcon(QStringLiteral(":/icons/shutdown.png"));
    case ShellIcon::Fatal: return QIcon(QStringLiteral(":/icons/fatal.png"));
    case ShellIcon::Help: return QIcon(QStringLiteral(":/icons/help.png"));
    }
    return {};
}

QImage BuiltInSplashImage() {
    EnsureResources();
    QFile file(QStringLiteral(":/splash.bmp"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    const SplashResult result =
        DecodeSplashBitmap({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                            static_cast<std::size_t>(bytes.size())});
    const auto* bitmap = std::get_if<SplashBitmap>(&result);
    if (bitmap == nullptr) {
        return {};
    }
    QImage image(bitmap->width, bitmap->height, QImage::Format_ARGB32);
    for (int y = 0; y < bitmap->height; ++y) {
        std::copy_n(bitmap->pixels.data() + static_cast<std::size_t>(y) * bitmap->width,
                    bitmap->width, reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    }
    return image;
}

} // namespace kestra::shell
