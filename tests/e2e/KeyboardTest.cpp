// Keys typed on the real display reach the server as the bytes the terminal
// definition (data/VT100.CNF) gives them, in the keyboard mode the server
// chose; Alt with a digit picks the console.
#include "e2e/EndToEnd.h"

#include <span>
#include <sstream>

namespace kestra::e2e {
namespace {

// The device attributes request and the answer VT100.CNF defines, and the
// VT52 identify request and its answer: once the answer is back, every byte
// the server sent before the request has been handled.
constexpr std::string_view kAnsiQuery = "\033[c";
constexpr std::string_view kAnsiAnswer = "\033[?1;0c";
constexpr std::string_view kVt52Query = "\033Z";
constexpr std::string_view kVt52Answer = "\033/Z";

// The keypad keys are typed as a keypad without NumLock has them (KP_End for
// 1, ...): for KP_1, xdotool would press NumLock around the key, and NumLock
// is a key of its own that sends PF1. The keypad gives the same codes either
// way.
struct KeyCase {
    const char* name;
    std::string_view mode; // what the server sends first to choose a keyboard mode
    const char* keys;      // xdotool key names
    std::string_view bytes;
};

// clang-format off
const KeyCase kCharacterKeys[] = {
    // name                mode       keys                         bytes
    {"letters and digits", "",        "k e s t r a 4 2",           "kestra42"},
    {"shifted letters",    "",        "shift+k shift+x",           "KX"},
    {"Return",             "",        "Return",                    "\r"},
    {"Return, new line",   "\033[20h", "Return",                   "\r\n"},
    {"Escape",             "\033[20l", "Escape",                   "\033"},
    {"control letters",    "",        "ctrl+c ctrl+d",             "\003\004"},
};

const KeyCase kSpecialKeys[] = {
    // name                    mode           keys                               bytes
    {"Tab",                    "",            "Tab",                             "\t"},
    {"arrows, ANSI",           "\033>",       "Up Down Right Left",              "\033[A\033[B\033[C\033[D"},
    {"arrows, application",    "\033=",       "Up Left",                         "\033OA\033OD"},
    {"PF1 to PF4 on F1 to F4", "\033>",       "F1 F2 F3 F4",                     "\033OP\033OQ\033OR\033OS"},
    {"keypad, numeric",        "\033>",       "KP_End KP_Begin KP_Subtract KP_Enter",  "15-\r"},
    {"keypad, application",    "\033=",       "KP_Insert KP_Prior KP_Add KP_Subtract KP_Delete KP_Enter",
                                                                                 "\033Op\033Oy\033Ol\033Om\033On\033OM"},
    {"NumLock is PF1",         "\033>",       "Num_Lock Num_Lock",               "\033OP\033OP"},
    {"editing keys",           "\033>",       "Home Prior BackSpace Delete",     "\033[1~\033[5~\177\177"},
    {"F5 and F12",             "",            "F5 F12",                          "\033[15~\033[24~"},
    {"VT52 arrows and PF1",    "\033[?2l",    "Up F1",                           "\033A\033P"},
    {"VT52 alternate keypad",  "\033=",       "KP_End KP_Enter",                   "\033?q\033?M"},
};
// clang-format on

class KeyboardTest : public EndToEndTest {
protected:
    // One console on a scripted server, with the keyboard focus.
    void StartConsole() {
        server_ = std::make_unique<ScriptedServer>(directory_ / "keys");
        ASSERT_TRUE(server_->Listening());
        const std::string configuration = WriteConfiguration(
            "keys.cnf",
            "QuietMode = on\nTitle = Keys\nCON /UNITNAME:Keys = " + (directory_ / "keys") + "\n");
        kestra_ = std::make_unique<KestraRun>(*x_, directory_,
                                              std::vector<std::string>{"/C:" + configuration});
        frame_ = x_->FindWindow("^Keys");
        ASSERT_FALSE(frame_.empty()) << "no frame; stderr: " << kestra_->Errors();
        // Return until one arrives: the console has the keyboard then.
        ASSERT_TRUE(x_->KeyUntil(frame_, "Return", [&] { return !server_->Received().empty(); }))
            << "nothing typed reached the server; stderr: " << kestra_->Errors();
    }

    void TypeEach(std::span<const KeyCase> cases) {
        bool vt52 = false;
        for (const KeyCase& row : cases) {
            // From the switch to VT52 on, the terminal answers the VT52
            // identify request, and no longer the ANSI one.
            vt52 = vt52 || row.mode == "\033[?2l";
            ASSERT_TRUE(server_->SendAndSync(row.mode, vt52 ? kVt52Query : kAnsiQuery,
                                             vt52 ? kVt52Answer : kAnsiAnswer))
                << row.name << ": the terminal did not answer; stderr: " << kestra_->Errors();
            x_->Key(frame_, row.keys);
            WaitUntil([&] { return server_->Received().size() >= row.bytes.size(); }, 3000);
            // Anything more would arrive now.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            EXPECT_EQ(server_->Received(), row.bytes) << row.name << " (" << row.keys << ")";
        }
    }

    std::unique_ptr<ScriptedServer> server_;
    std::unique_ptr<KestraRun> kestra_;
    std::string frame_;
};

TEST_F(KeyboardTest, CharacterKeysReachTheServerAsTheirCharacters) {
    StartConsole();
    TypeEach(kCharacterKeys);
}

TEST_F(KeyboardTest, SpecialKeysReachTheServerAsTheDefinitionSays) {
    StartConsole();
    TypeEach(kSpecialKeys);
}

// Alt with a digit activates the console of that unit number; a digit with no
// console behind it leaves the active one as it is. The maximised console's
// name in the frame's title shows which is active, and the next key typed
// reaches that console's server.
TEST_F(KeyboardTest, AltWithADigitActivatesTheConsoleOfThatUnit) {
    ScriptedServer first(directory_ / "first");
    ScriptedServer second(directory_ / "second");
    ASSERT_TRUE(first.Listening() && second.Listening());
    WriteSettings({{"Window", "1 1 0 0 900 600"}});
    const std::string configuration = WriteConfiguration(
        "alt.cnf",
        "QuietMode = on\nTitle = Units\nCON /UNITNAME:First = " + (directory_ / "first") +
            "\nCON /UNITNAME:Second = " + (directory_ / "second") + "\n");
    KestraRun kestra(*x_, directory_, {"/C:" + configuration});
    const std::string frame = x_->FindWindow("^Units");
    ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << kestra.Errors();
    ASSERT_TRUE(x_->KeyUntil(frame, "Return", [&] { return !first.Received().empty(); }))
        << "the first console did not get the keyboard; stderr: " << kestra.Errors();

    struct Switch {
        const char* keys;
        const char* active;
        ScriptedServer* server;
    };
    const Switch switches[] = {
        {"alt+1", "Second", &second},
        {"alt+0", "First", &first},
        {"alt+1", "Second", &second},
        {"alt+5", "Second", &second}, // no unit 5
    };
    for (const Switch& row : switches) {
        first.ClearReceived();
        second.ClearReceived();
        x_->Key(frame, row.keys);
        const std::string title = std::string("Units - [") + row.active + "]";
        EXPECT_TRUE(WaitUntil([&] { return x_->WindowName(frame) == title; }, 3000))
            << row.keys << ": " << x_->WindowName(frame);
        x_->Key(frame, "z");
        EXPECT_TRUE(row.server->WaitForReceived("z", 3000)) << row.keys;
        EXPECT_EQ(first.Received() + second.Received(), "z") << row.keys << ": typed once";
    }
}

// A user types a line into the console: the server behind it gets the line,
// and what the server sends back is painted in the console's cells.
TEST_F(EndToEndTest, ALineTypedIntoAConsoleReachesTheServerAndItsEchoIsShown) {
    const std::string received = directory_ / "received";
    // Each line the server reads is kept and answered; the terminal of the
    // server's pseudo-terminal echoes the typed characters first.
    const std::string script = "while IFS= read -r line; do printf '%s\\n' \"$line\" >> " +
                               Quoted(received) + "; printf 'GOT %s\\n' \"$line\"; done";
    ChildProcess server = StartServe(directory_ / "s1", script);
    WriteSettings({{"Window", "1 1 0 0 800 600"}});
    const std::string configuration = WriteConfiguration(
        "typing.cnf",
        "QuietMode = on\nTitle = Typing\nCON /UNITNAME:First = " + (directory_ / "s1") + "\n");
    const auto receivedLines = [&] {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(received));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    };
    KestraRun kestra(*x_, directory_, {"/C:" + configuration});
    const std::string frame = x_->FindWindow("^Typing");
    ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << kestra.Errors();
    ASSERT_TRUE(x_->KeyUntil(frame, "Return", [&] { return !receivedLines().empty(); }))
        << "nothing typed reached the server; stderr: " << kestra.Errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::size_t emptyLines = receivedLines().size();
    x_->Key(frame, "k e s t r a space 4 2 Return");
    WaitUntil([&] { return receivedLines().size() > emptyLines; }, 5000);
    const std::vector<std::string> lines = receivedLines();
    ASSERT_EQ(lines.size(), emptyLines + 1) << ReadFile(received);
    EXPECT_EQ(lines.back(), "kestra 42");

    // Each line took two rows: the echo of the typed line, then the answer.
    const int echoRow = static_cast<int>(2 * emptyLines);
    ASSERT_LT(echoRow + 5, 24);
    const std::vector<std::pair<int, std::string>> expected = {
        {echoRow, "kestra 42"}, {echoRow + 1, "GOT kestra 42"}, {echoRow + 5, ""}};
    std::vector<std::string> seen;
    ScreenshotUntil(frame, [&](const QImage& picture) {
        seen.clear();
        const auto area = FindCellArea(picture, {400, 400}, 24, 80);
        bool same = area.has_value();
        for (const auto& [row, text] : expected) {
            seen.push_back(area ? InkRow(picture, *area, row, 80) : "");
            same = same && seen.back() == InkOf(text, 80);
        }
        return same;
    });
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i], InkOf(expected[i].second, 80)) << "row " << expected[i].first;
    }
}

} // namespace
} // namespace kestra::e2e
