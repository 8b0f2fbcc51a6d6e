#pragma once

// The console window's view of a console record, and the record's link to
// its window.

#include "console/ConsoleRecord.h"
#include "console/PipeLink.h"
#include "console/WindowLink.h"
#include "console/window/WindowConsole.h"

namespace kestra::console {

// One per console window, living as long as it: the window reads the
// record's screen and cursor through it, and the record's reader posts its
// repaint requests and resize notices through it.
class RecordConsole : public WindowConsole, public ConsoleWindowLink {
public:
    explicit RecordConsole(ConsoleRecord& record) : record_(record) {}

    ConsoleRecord& Record() { return record_; }

    std::string Name() const override { return record_.unitName; }
    emulator::Emulator& Emulator() override { return *record_.emulator; }
    void lock() override { record_.lock.lock(); }
    void unlock() override { record_.lock.unlock(); }
    void Type(std::int32_t code) override { TypeKey(record_, code); }
    Delivery Paste(std::uint8_t byte) override { return PasteByte(record_, byte); }
    void SetPainted() override { record_.paintedEvent.Set(); }
    bool ConfiguredWide() const override { return record_.width > kDefaultWidth; }
    CursorPosition Cursor() const override;
    void CursorAfterReset() override;
    void Attach(ConsoleWindow& window) override;

    // Any thread, with the console's lock held: posts and returns.
    void PostRepaint(RepaintKind kind, CellRange cells) override;
    void PostResize(unsigned rows, unsigned columns) override;

private:
    ConsoleRecord& record_;
    std::atomic<ConsoleWindow*> window_{nullptr};
};

} // namespace kestra::console
