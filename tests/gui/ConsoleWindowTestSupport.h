#pragma once

#include "ShellTestSupport.h"
#include "console/window/ConsoleWindow.h"
#include "console/window/ConsoleWindowList.h"
#include "console/window/StandaloneConsole.h"

#include <QApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QRegion>
#include <memory>

// A console window in an MDI area on the offscreen platform, showing a
// console made straight from an emulator and its screen.
namespace kestra::console::testing {

using kestra::shell::testing::App;
using kestra::shell::testing::MemoryStore;
using kestra::shell::testing::PumpUntil;

inline void ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Remembers the regions the window paints.
class PaintRecorder : public QObject {
public:
    QRegion painted;
    int paints = 0;
    // Whether this event was already set when a paint began.
    const kestra::platform::Event* watched = nullptr;
    bool setBeforePaint = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
            setBeforePaint = setBeforePaint || (watched != nullptr && watched->IsSet());
        }
        return false;
    }
};

// Constructed first, so the application exists before any widget.
struct ApplicationGuard {
    ApplicationGuard() { App(); }
};

struct WindowHarness {
    ApplicationGuard application;
    Properties properties;
    BlinkPalette blink;
    SelectionState selection;
    ConsoleWindowList list;
    std::unique_ptr<StandaloneConsole> console; // outlives its window
    QMdiArea area;
    ConsoleWindow* window = nullptr;
    QMdiSubWindow* sub = nullptr;
    PaintRecorder recorder;

    WindowHarness()
        : list(ConsoleWindowContext{&properties, &blink, &selection, [](bool) {},
                                    [](QMdiSubWindow& sub, int show, ConsolePlacement&) {
                                        if (show == kShowMaximized) {
                                            sub.showMaximized();
                                        } else if (show == kShowMinNoActive) {
                                            sub.showMinimized();
                                        } else {
                                            sub.showNormal();
                                        }
                                    }}) {
        // Blinking runs as on the real display, which counts as palette-based.
        blink.SetPaletteDevice(true);
        blink.UpdateBlinkState();
        area.resize(1200, 900);
        area.show();
    }

    // A 24x80 console in a window whose client area is 644x388.
    ConsoleWindow& Open() {
        console = std::make_unique<StandaloneConsole>("\\\\.\\pipe\\ONE", 24, false, true,
                                                      KESTRA_SOURCE_DIR "/data/VT100.CNF");
        return Show(*console);
    }
    ConsoleWindow& Show(WindowConsole& shown) {
        window = new ConsoleWindow(list, shown, 24, 80, std::nullopt);
        sub = area.addSubWindow(window);
        window->Place(*sub);
        sub->show();
        ProcessEvents();
        const QSize border = sub->size() - window->size();
        sub->resize(644 + border.width(), 388 + border.height());
        ProcessEvents();
        window->installEventFilter(&recorder);
        shown.Attach(*window);
        return *window;
    }

    emulator::ScreenBuffer& Screen() { return console->Screen(); }

    void Put(int row, int column, std::u16string_view text, std::uint8_t attribute = 0) {
        emulator::ScreenBuffer& screen = Screen();
        for (char16_t ch : text) {
            const std::size_t at = screen.CellIndex(static_cast<std::uint32_t>(row),
                                                    static_cast<std::uint32_t>(column++));
            screen.chars[at] = ch;
            screen.attrs[at] = attribute;
        }
    }
    void Line(int row, std::uint8_t attribute) {
        Screen().lineAttrs[static_cast<std::size_t>(row)] = attribute;
    }
    void Cursor(int row, int column, bool visible = true) {
        Screen().shownRow = static_cast<std::uint32_t>(row);
        Screen().shownCol = static_cast<std::uint32_t>(column);
        Screen().cursorVisible = visible ? 1 : 0;
    }
    void GiveFocus() {
        QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(window, &in);
    }

    QImage Grab() { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// The pixels of cell (row, column) in 8x16 cells with 2-pixel margins.
inline QRect CellRect(int row, int column, int widthInCells = 1) {
    return QRect(2 + column * 8, 2 + row * 16, 8 * widthInCells, 16);
}

inline int Level(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y));
}

// How many pixels of a rectangle are brighter than the threshold.
inline int LitPixels(const QImage& image, const QRect& rect, int threshold = 60) {
    int lit = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            lit += Level(image, x, y) > threshold ? 1 : 0;
        }
    }
    return lit;
}

// The first row of a rectangle holding a lit pixel, or -1.
inline int FirstLitRow(const QImage& image, const QRect& rect, int threshold = 60) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        if (LitPixels(image, QRect(rect.left(), y, rect.width(), 1), threshold) > 0) {
            return y;
        }
    }
    return -1;
}

} // namespace kestra::console::testing
