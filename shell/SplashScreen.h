#pragma once

#include "shell/ShellConfiguration.h"

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

// The picture shown while the configuration is read: the configuration's
// SplashGraphic, or the built-in picture. It is shown at most once per run
// and stays up at least 2000 ms.
namespace kestra::shell {

inline constexpr int kSplashMinimumMs = 2000;

struct SplashClock {
    std::function<std::int64_t()> nowMs;
    // Waits; the default keeps painting but takes no user input meanwhile.
    std::function<void(int milliseconds)> waitMs;
};
SplashClock SystemSplashClock();

class SplashWindow : public QWidget {
public:
    SplashWindow(QImage image, bool border);
    const QImage& Image() const { return image_; }
    bool HasBorder() const { return border_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    bool border_;
};

class SplashScreen {
public:
    // center places a window of the given size (the frame's CenterWindow).
    SplashScreen(ShellConfiguration& configuration, SplashClock clock,
                 std::function<void(QWidget& window, int width, int height)> center);
    ~SplashScreen();

    // Unless QuietMode is on or it is up already: the configured picture the
    // first time, the built-in one when none is configured or the first try
    // was made. A picture that cannot be read is reported through Fatal
    // ("%s\n%s", the message and the file name), silently dropped once the
    // program is exiting.
    void Show();
    // Waits out the 2000 ms, closes the window and sets QuietMode so that it
    // never comes back.
    void Remove();

    SplashWindow* Window() const { return window_.get(); }
    bool EverShown() const { return everShown_; }

    // The frame's thickness added with SplashBorder on (twice this each way).
    static constexpr int kBorderWidth = 3;

private:
    QImage LoadConfiguredPicture();

    ShellConfiguration& configuration_;
    SplashClock clock_;
    std::function<void(QWidget&, int, int)> center_;
    std::unique_ptr<SplashWindow> window_;
    std::int64_t shownAtMs_ = 0;
    bool graphicTried_ = false;
    bool everShown_ = false;
};

} // namespace kestra::shell
