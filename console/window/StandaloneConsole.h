#pragma once

#include "console/window/WindowConsole.h"
#include "platform/Event.h"

#include <mutex>
#include <string>

// A console without a connection: an emulator and its screen, the lock and
// the painted event. The cursor is read straight from the screen. Used where
// a window must show a screen that nothing else feeds (tests, benchmarks,
// previews).
namespace kestra::console {

class StandaloneConsole : public WindowConsole {
public:
    // definitionFile: the terminal definition to load ("" for the default
    // search); with loadDefinition false only the screen is created, which
    // is enough to paint but not to type or reset.
    StandaloneConsole(std::string name, unsigned rows, bool wide, bool loadDefinition,
                      std::string_view definitionFile = {});

    std::string Name() const override { return name_; }
    emulator::Emulator& Emulator() override { return emulator_; }
    emulator::ScreenHistory& History() override { return history_; }
    void lock() override { lock_.lock(); }
    void unlock() override { lock_.unlock(); }
    // Keys and pasted bytes go wherever the emulator's output goes.
    void Type(std::int32_t code) override;
    Delivery Paste(std::uint8_t byte) override;
    void SetPainted() override { painted_.Set(); }
    bool ConfiguredWide() const override { return wide_; }
    CursorPosition Cursor() const override;
    void CursorAfterReset() override {}
    void Attach(ConsoleWindow& window) override { window_ = &window; }

    platform::Event& Painted() { return painted_; }
    ConsoleWindow* AttachedWindow() const { return window_; }

private:
    std::string name_;
    bool wide_;
    emulator::Emulator emulator_;
    emulator::ScreenHistory history_; // none kept: nothing feeds this console
    std::mutex lock_;
    platform::Event painted_;
    ConsoleWindow* window_ = nullptr;
};

} // namespace kestra::console
