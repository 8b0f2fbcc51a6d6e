#include "shell/SplashScreen.h"

#include "config/ProgramFile.h"
#include "platform/Exit.h"
#include "shell/Icons.h"
#include "shell/SplashBitmap.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <chrono>
#include <thread>

namespace kestra::shell {

SplashClock SystemSplashClock() {
    SplashClock clock;
    clock.nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    clock.waitMs = [](int milliseconds) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    return clock;
}

SplashWindow::SplashWindow(QImage image, bool border)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), image_(std::move(image)),
      border_(border) {
    setObjectName(QStringLiteral("KESTRASplash"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int frame = border_ ? 2 * SplashScreen::kBorderWidth : 0;
    resize(image_.width() + frame, image_.height() + frame);
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int inset = border_ ? SplashScreen::kBorderWidth : 0;
    if (border_) {
        // A raised dialog frame drawn by us: window managers differ in what
        // frame, if any, they give a splash window.
        painter.fillRect(rect(), palette().color(QPalette::Button));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.drawLine(0, 0, 0, height() - 1);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
        painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    }
    painter.drawImage(inset, inset, image_);
}

SplashScreen::SplashScreen(ShellConfiguration& configuration, SplashClock clock,
                           std::function<void(QWidget&, int, int)> center)
    : configuration_(configuration), clock_(std::move(clock)), center_(std::move(center)) {}

SplashScreen::~SplashScreen() = default;

QImage SplashScreen::LoadConfiguredPicture() {
    // Only the first attempt of the run loads: after a failure the exit
    // routine shows the splash again, and then the built-in picture.
    const std::optional<std::string> graphic = configuration_.SplashGraphic();
    if (graphicTried_ || !graphic || graphic->empty()) {
        return {};
    }
    graphicTried_ = true;
    const std::string path = config::FindProgramFile(*graphic);
    SplashResult result = ReadSplashBitmap(path);
    if (const auto* failure = std::get_if<std::string>(&result)) {
        if (!platform::Exiting()) {
            platform::Fatal("%s\n%s", failure->c_str(), path.c_str());
        }
        return {};
    }
    const auto& bitmap = std::get<SplashBitmap>(result);
    QImage image(bitmap.width, bitmap.height, QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.height; ++y) {
        std::copy_n(bitmap.pixels.data() + static_cast<std::size_t>(y) * bitmap.width, bitmap.width,
                    reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    }
    return image;
}

void SplashScreen::Show() {
    if (configuration_.QuietMode() || window_) {
        return;
    }
    shownAtMs_ = clock_.nowMs();
    QImage image = LoadConfiguredPicture();
    if (image.isNull()) {
        image = BuiltInSplashImage();
    }
    if (window_ || configuration_.QuietMode()) {
        return; // a failed picture went through the exit routine, which showed one
    }
    window_ = std::make_unique<SplashWindow>(std::move(image), configuration_.SplashBorder());
    everShown_ = true;
    if (center_) {
        center_(*window_, window_->width(), window_->height());
    }
    window_->show();
    window_->repaint();
}

void SplashScreen::Remove() {
    if (!window_) {
        return;
    }
    const std::int64_t shownFor = clock_.nowMs() - shownAtMs_;
    if (shownFor < kSplashMinimumMs) {
        clock_.waitMs(static_cast<int>(kSplashMinimumMs - shownFor));
    }
    window_.reset();
    configuration_.SetQuietMode(true);
}

} // namespace kestra::shell
