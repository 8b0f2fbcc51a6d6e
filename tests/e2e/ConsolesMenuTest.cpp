// The Consoles menu on a real display: Capture... asks for a file and logs
// what the active console receives until it is chosen again.
#include "e2e/EndToEnd.h"

namespace kestra::e2e {
namespace {

TEST_F(EndToEndTest, CaptureLogsTheActiveConsoleUntilChosenAgain) {
    ScriptedServer server(directory_ / "CAP");
    ASSERT_TRUE(server.Listening());
    WriteFile(directory_ / "k.cnf", "Title = Captured\nCON /UNITNAME:Cap = CAP\n");
    ASSERT_NO_FATAL_FAILURE(StartKestra(directory_ / "k.cnf", "Captured"));
    const std::string query = "\033[c", answer = "\033[?1;0c";
    ASSERT_TRUE(Eventually([&] { return server.Received().empty() && Running(); }, 5s));
    ASSERT_TRUE(server.SendAndSync("before\r\n", query, answer));

    const std::string log = directory_ / "boot.log";
    std::string dialog;
    ASSERT_TRUE(KeyUntil(frame_, "alt+c a", [&] {
        return !(dialog = Xdotool("search --onlyvisible --name ^Capture$")).empty();
    }));
    Xdotool("windowfocus --sync " + dialog);
    Xdotool("type --delay 20 " + log);
    Type("Return");
    ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(log); }, 10s));
    ASSERT_TRUE(server.SendAndSync("shown\r\n", query, answer));
    Xdotool("windowfocus --sync " + frame_);
    Type("alt+c a"); // checked now: stops
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(server.SendAndSync("after\r\n", query, answer));
    EXPECT_EQ(testing::FileText(log), "shown\r\n" + query);
}

} // namespace
} // namespace kestra::e2e
