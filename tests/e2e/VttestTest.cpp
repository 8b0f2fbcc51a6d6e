// vttest, the terminal test program, in a console through kestra-serve: the
// first screens of its cursor-movement test as a user would walk them, and
// its exit, which ends the program with the server's message. The full walk
// with screenshots is tests/e2e/vttest.sh.
#include "e2e/EndToEnd.h"

#include <functional>
#include <numeric>

namespace kestra::e2e {
namespace {

struct Screen {
    const char* keys; // what takes vttest to this screen
    const char* name;
    // Rows whose cells must show ink exactly where the text has characters,
    // compared over the text's length: the cursor may blink after it, and a
    // scaled comma or colon may stray into the cell after it.
    std::vector<std::pair<int, std::string>> rows;
    // Cells that must show ink, and cells that must be empty.
    std::vector<std::pair<int, int>> ink;
    std::vector<std::pair<int, int>> empty;
};

bool Shows(const QImage& picture, const CellArea& area, const Screen& screen, std::string* why) {
    for (const auto& [row, text] : screen.rows) {
        const std::string seen = InkRow(picture, area, row, 80).substr(0, text.size());
        if (seen != InkOf(text, 80).substr(0, text.size())) {
            *why = "row " + std::to_string(row) + ": " + seen;
            return false;
        }
    }
    for (const auto& [cells, mark] : {std::pair{&screen.ink, '#'}, std::pair{&screen.empty, '.'}}) {
        for (const auto& [row, column] : *cells) {
            if (InkRow(picture, area, row, 80)[static_cast<std::size_t>(column)] != mark) {
                *why = std::string(1, mark) + " expected at " + std::to_string(row) + "," +
                       std::to_string(column);
                return false;
            }
        }
    }
    return true;
}

TEST_F(EndToEndTest, VttestCursorMovementScreensAreDrawnAndItsExitEndsTheProgram) {
    if (!CommandExists("vttest")) {
        GTEST_SKIP() << "needs vttest (scripts/setup-debian.sh installs it)";
    }
    const std::string socket = directory_ / "vttest";
    ChildProcess server = StartServe(socket, "exec vttest");
    // A console of 8 by 16 pixel cells filling the frame below its menu bar.
    WriteSettings({{"Window", "1 1 0 0 644 408"}});
    ASSERT_NO_FATAL_FAILURE(StartKestra("vttest", {"vttest"}));
    const std::string& frame = frame_;
    KestraRun& kestra = *kestra_;

    std::vector<std::pair<int, int>> border; // both sides of the border of *'s and +'s
    std::vector<std::pair<int, int>> inside; // the middle, cleared
    for (int row = 2; row <= 20; ++row) {
        for (const int column : {0, 1, 78, 79}) {
            border.push_back({row, column});
        }
        if (row < 8) {
            inside.push_back({row, 40});
        }
    }
    const std::string letters = "A B C D E F G H I";
    const Screen screens[] = {
        {"", "main menu", {{20, "          Enter choice number (0 - 12):"}}, {}, {}},
        {"1 Return", "border", {}, border, inside},
        {"Return", "border in 132 columns", {}, {}, {}},
        {"Return", "autowrap", {{0, "Test of autowrap"}}, {}, {}},
        {"Return", "autowrap in 132 columns", {}, {}, {}},
        {"Return",
         "controls inside sequences",
         {{3, letters}, {4, letters}, {5, letters}, {6, letters}},
         {},
         {}},
        {"Return", "leading zeros", {{3, "This is a correct sentence"}}, {}, {}},
        {"Return", "main menu again", {{20, "          Enter choice number (0 - 12):"}}, {}, {}},
    };
    for (const Screen& screen : screens) {
        // The first keys typed into a freshly shown window can be lost: they
        // are typed again while the menu is still there.
        const bool fromMenu = &screen == &screens[1];
        std::string why = "no cells found";
        for (int attempt = 0; attempt < (fromMenu ? 3 : 1) && !why.empty(); ++attempt) {
            if (*screen.keys != '\0') {
                x_->Key(frame, screen.keys);
            }
            ScreenshotUntil(frame, [&](const QImage& picture) {
                // The bottom right pixel is in the margins, never written.
                const auto area = FindCellArea(picture, {643, 407}, 24, 80);
                if (!area || area->cellWidth != 8 || area->cellHeight != 16) {
                    why = "no cells of 8 by 16 pixels";
                    return false;
                }
                why.clear();
                return Shows(picture, *area, screen, &why);
            });
        }
        EXPECT_EQ(why, "") << screen.name;
        // vttest drops what was typed while it draws: the next keys wait
        // until the screen has stopped changing (but for the blinking cursor).
        std::string before;
        ScreenshotUntil(frame, [&](const QImage& picture) {
            std::string now;
            if (const auto area = FindCellArea(picture, {643, 407}, 24, 80)) {
                for (int row = 0; row < 24; ++row) {
                    now += InkRow(picture, *area, row, 80);
                }
            }
            const bool settled = now.size() == before.size() &&
                                 std::transform_reduce(now.begin(), now.end(), before.begin(), 0,
                                                       std::plus<>(), std::not_equal_to<>()) <= 1;
            before = std::move(now);
            return settled;
        });
        ASSERT_TRUE(kestra.Running()) << screen.name << ": " << kestra.Errors();
    }
    // vttest ends; kestra-serve closes the connection.
    x_->Key(frame, "0 Return");
    const std::string dialog = x_->FindWindow("^Fatal Error$");
    ASSERT_FALSE(dialog.empty()) << kestra.Errors();
    EXPECT_TRUE(x_->KeyUntil(dialog, "Return", [&] { return !kestra.Running(); }));
    EXPECT_EQ(kestra.Status(), 255);
    EXPECT_EQ(kestra.Errors(), "The server for pipe " + socket + " has shut down\n");
}

} // namespace
} // namespace kestra::e2e
