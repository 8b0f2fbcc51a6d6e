// Keys typed on the real display reach the server as the bytes the terminal
// definition (data/VT100.CNF) gives them, in the keyboard mode the server
// chose.
#include "e2e/EndToEnd.h"

namespace kestra::e2e {
namespace {

// The device attributes request and the answer VT100.CNF defines, and the
// VT52 identify request and its answer: once the answer is back, every byte
// the server sent before the request has been handled.
const std::string kAnsiQuery = "\033[c";
const std::string kAnsiAnswer = "\033[?1;0c";
const std::string kVt52Query = "\033Z";
const std::string kVt52Answer = "\033/Z";

// The keypad keys are typed as a keypad without NumLock has them (KP_End for
// 1, ...): for KP_1, xdotool would press NumLock around the key, and NumLock
// is a key of its own that sends PF1. The keypad gives the same codes either
// way.
struct KeyCase {
    const char* name;
    std::string mode; // what the server sends first to choose a keyboard mode
    const char* keys; // xdotool key names
    std::string bytes;
};

// clang-format off
const KeyCase kKeys[] = {
    // name                    mode        keys                                    bytes
    {"letters and digits",     "",         "k e s t r a 4 2",                      "kestra42"},
    {"shifted letters",        "",         "shift+k shift+x",                      "KX"},
    {"Return",                 "",         "Return",                               "\r"},
    {"Return, new line",       "\033[20h", "Return",                               "\r\n"},
    {"Escape",                 "\033[20l", "Escape",                               "\033"},
    {"control letters",        "",         "ctrl+c ctrl+d",                        "\003\004"},
    {"Tab",                    "",         "Tab",                                  "\t"},
    {"arrows, ANSI",           "\033>",    "Up Down Right Left",                   "\033[A\033[B\033[C\033[D"},
    {"arrows, application",    "\033=",    "Up Left",                              "\033OA\033OD"},
    {"PF1 to PF4 on F1 to F4", "\033>",    "F1 F2 F3 F4",                          "\033OP\033OQ\033OR\033OS"},
    {"keypad, numeric",        "\033>",    "KP_End KP_Begin KP_Subtract KP_Enter", "15-\r"},
    {"keypad, application",    "\033=",    "KP_Insert KP_Prior KP_Add KP_Subtract KP_Delete KP_Enter",
                                                                                   "\033Op\033Oy\033Ol\033Om\033On\033OM"},
    {"editing keys",           "\033>",    "Home Prior BackSpace Delete",          "\033[1~\033[5~\177\177"},
    {"F5 and F12",             "",         "F5 F12",                               "\033[15~\033[24~"},
    {"VT52 arrows and PF1",    "\033[?2l", "Up F1",                                "\033A\033P"},
    {"VT52 alternate keypad",  "\033=",    "KP_End KP_Enter",                      "\033?q\033?M"},
};
// clang-format on

TEST_F(EndToEndTest, KeysReachTheServerAsTheDefinitionSays) {
    ScriptedServer server(directory_ / "Keys");
    ASSERT_TRUE(server.Listening());
    WriteFile(directory_ / "keys.cnf", "QuietMode = on\nTitle = Keys\nCON /UNITNAME:Keys = Keys\n");
    ASSERT_NO_FATAL_FAILURE(StartKestra(directory_ / "keys.cnf", "Keys"));
    // Return until one arrives: the console has the keyboard then.
    ASSERT_TRUE(KeyUntil(frame_, "Return", [&] { return !server.Received().empty(); }))
        << "nothing typed reached the server; standard error: " << kestra_->Err();
    bool vt52 = false;
    for (const KeyCase& row : kKeys) {
        // From the switch to VT52 on, the terminal answers the VT52 identify
        // request, and no longer the ANSI one.
        vt52 = vt52 || row.mode == "\033[?2l";
        ASSERT_TRUE(server.SendAndSync(row.mode, vt52 ? kVt52Query : kAnsiQuery,
                                       vt52 ? kVt52Answer : kAnsiAnswer))
            << row.name << ": the terminal did not answer; standard error: " << kestra_->Err();
        // A z after the keys, in every mode just a z: once it is there,
        // everything the keys sent is there too.
        Type(std::string(row.keys) + " z");
        Eventually([&] { return server.Received().ends_with('z'); }, 20s);
        EXPECT_EQ(server.Received(), row.bytes + "z") << row.name << " (" << row.keys << ")";
    }
    // NumLock is PF1 (VT52 here), and keeps its lock and light.
    const auto light = [&] { return testing::RunProgram({"xset", "-display", display_, "q"}).out; };
    const std::string before = light();
    Type("Num_Lock z");
    EXPECT_TRUE(Eventually([&] { return server.Received().ends_with("\033Pz"); }, 20s));
    EXPECT_EQ(light(), before);
}

} // namespace
} // namespace kestra::e2e
