// Copy and paste through the display's real CLIPBOARD selection: a mouse
// drag selects cells, Edit > Copy puts their text on the clipboard, Edit >
// Paste sends clipboard text to the server one byte at a time with pauses.
#include "e2e/EndToEnd.h"

#include <chrono>

namespace kestra::e2e {
namespace {

TEST_F(EndToEndTest, CopyAndPasteGoThroughTheClipboardWithPauses) {
    ScriptedServer server(directory_ / "Clip");
    WriteSettings({{"Window", "1 1 0 0 900 600"}});
    ASSERT_NO_FATAL_FAILURE(StartKestra("Clip", {"Clip"}));
    ASSERT_TRUE(WaitUntil([&] { return server.Connected(); }));
    // Edit > Paste; what the server got once the bytes stopped coming.
    // A busy machine may lose the menu's keys: they are typed again until the
    // first byte arrives (a paste that has begun refuses a second one).
    const auto paste = [&](std::size_t expectedBytes) {
        server.ClearReceived();
        x_->KeyUntil(frame_, "alt+e p", [&] { return !server.Received().empty(); });
        WaitUntil([&] { return server.Received().size() >= expectedBytes; }, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return server.ReceivedPieces();
    };

    ASSERT_TRUE(server.Send("\033[2J\033[Hhello world\r\nsecond line  \r\n\r\n"));
    std::optional<CellArea> area;
    ScreenshotUntil(frame_, [&](const QImage& picture) {
        area = FindCellArea(picture, {450, 400}, 24, 80);
        return area && InkRow(picture, *area, 1, 80) == InkOf("second line", 80);
    });
    ASSERT_TRUE(area) << "no cells on the display";
    // From the corner of the first cell to the corner after the thirteenth
    // cell of the third row: two rows of thirteen cells.
    x_->Drag(frame_, area->Cell(0, 0).topLeft(), area->Cell(2, 13).topLeft());
    const std::string copied = "hello world\r\nsecond line";
    EXPECT_TRUE(x_->KeyUntil(frame_, "alt+e c", [&] { return x_->Clipboard() == copied; }))
        << "clipboard: " << x_->Clipboard().value_or("(none)");

    // The line feed is not sent. Each byte waits 10 ms after the one before
    // it and 100 ms after a carriage return (the default PasteDelays), so the
    // bytes come in many reads, the one after the carriage return last of all.
    // A busy machine may read several bytes at once: the bounds leave room.
    const std::vector<ScriptedServer::Piece> pieces = paste(23);
    std::string pasted;
    std::chrono::steady_clock::duration afterReturn{};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        pasted += pieces[i].bytes;
        if (i > 0 && pieces[i - 1].bytes.ends_with('\r')) {
            afterReturn = pieces[i].time - pieces[i - 1].time;
        }
    }
    EXPECT_EQ(pasted, "hello world\rsecond line");
    ASSERT_FALSE(pieces.empty());
    EXPECT_GE(pieces.size(), 8U) << "bytes sent without pauses";
    EXPECT_GE(pieces.back().time - pieces.front().time, std::chrono::milliseconds(200));
    EXPECT_GE(afterReturn, std::chrono::milliseconds(70)) << "no longer pause after the return";

    // Text another program put on the clipboard: only printable characters
    // and carriage returns reach the server.
    const std::string text = "A\tB\nC\xC3\xA9 d\r";
    WriteFile(directory_ / "offered", text);
    ChildProcess offer({"env", "DISPLAY=" + x_->Display(), "xclip", "-quiet", "-selection",
                        "clipboard", "-i", directory_ / "offered"});
    ASSERT_TRUE(WaitUntil([&] { return x_->Clipboard() == text; }, 5000))
        << "xclip did not offer the text";
    pasted.clear();
    for (const ScriptedServer::Piece& piece : paste(5)) {
        pasted += piece.bytes;
    }
    EXPECT_EQ(pasted, "ABC d\r");
}

} // namespace
} // namespace kestra::e2e
