#pragma once

#include "console/WindowLink.h"

// The frame as the console layer sees it: a defined console is registered
// with the frame through a posted event, and a beep is posted to the window
// thread. Safe from any thread, with or without a console's lock held.
namespace kestra::shell {

class FrameWindow;

class ConsoleFrameBridge : public console::ConsoleFrameLink {
public:
    explicit ConsoleFrameBridge(FrameWindow& frame) : frame_(frame) {}

    void RegisterConsole(console::ConsoleRecord& record, unsigned rows, unsigned columns) override;
    void Beep() override;
    void Warn(const std::string& message) override;

private:
    FrameWindow& frame_;
};

} // namespace kestra::shell
