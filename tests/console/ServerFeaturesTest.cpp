// Captures, telnet, reconnecting consoles, consoles defined after start-up.

#include "ConsoleTestSupport.h"
#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"
#include "console/ConsoleDefinition.h"
#include "console/ConsoleTable.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <unistd.h>

namespace kestra::console {
namespace {

using namespace consoletest;
using Bytes = std::vector<std::uint8_t>;
using namespace std::string_literals;

struct WarningFrame : ConsoleFrameLink {
    WarningFrame() { TheWindowSide().SetFrame(this); }
    ~WarningFrame() override { TheWindowSide().Reset(); }
    void RegisterConsole(ConsoleRecord&, unsigned, unsigned) override {}
    void Beep() override { ++beeps; }
    void Warn(const std::string& message) override {
        std::lock_guard held(mutex);
        warnings.push_back(message);
    }
    std::atomic<int> beeps{0};
    std::mutex mutex;
    std::vector<std::string> warnings;
};

struct StateWindow : RecordingWindow {
    explicit StateWindow(ConsoleRecord& r) : RecordingWindow(r) { AttachWindow(r, *this); }
    void PostServerState(bool waiting) override { states.push_back(waiting); }
    std::vector<bool> states; // written by the reader alone
};

std::string RowText(TestConsole& console, std::uint32_t row, std::uint32_t columns) {
    std::string text;
    for (std::uint32_t column = 0; column < columns; ++column) {
        text += static_cast<char>(console.Cell(row, column));
    }
    return text;
}

TEST(Capture, RawFilesHoldTheServersBytesAndTextFilesItsTimestampedLines) {
    TemporaryDirectory directory;
    WarningFrame frame;
    const std::string sent = "\x1b[2J\x1b[1;7mboot\x1b[m:\tok\x1b(B\r\n\xC1\x1b[K\r\nlast";
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d )";
    const std::regex text(stamp + "boot:\tok\n" + stamp + "A\n" + stamp + "last");
    for (const CaptureFormat format : {CaptureFormat::Raw, CaptureFormat::Text}) {
        TestConsole console;
        ServerLink link(Transport::UnixSocket, console.record);
        const std::string path = directory / (format == CaptureFormat::Raw ? "raw" : "text");
        StartCapture(console.record, path, format);
        ConsoleThread reader(console.record);
        ASSERT_TRUE(link.ok && link.Write(sent));
        EXPECT_TRUE(Eventually([&] { return console.Cell(2, 3) == 't'; }, 5s));
        reader.Stop();
        console.record.capture.Stop();
        const std::string captured = FileText(path);
        EXPECT_TRUE(format == CaptureFormat::Raw ? captured == sent
                                                 : std::regex_match(captured, text))
            << captured;
    }
    // A file that cannot be made: one warning naming it and why; the console goes on.
    std::ofstream(directory / "file") << "";
    TestConsole console;
    ServerLink link(Transport::UnixSocket, console.record);
    StartCapture(console.record, directory / "file/log", CaptureFormat::Raw);
    ConsoleThread reader(console.record);
    ASSERT_TRUE(link.Write("on"));
    EXPECT_TRUE(Eventually([&] { return console.Cell(0, 1) == 'n'; }, 5s));
    EXPECT_EQ(frame.warnings,
              std::vector<std::string>{"Can't capture to " +
                                       directory / "file/log: " + std::strerror(ENOTDIR)});
    EXPECT_FALSE(console.record.capture.Active());
    std::tm day{};
    day.tm_mday = 5;
    day.tm_mon = 2;
    day.tm_year = 124;
    EXPECT_EQ(ExpandCaptureName("/l/{unit}-{Date}{x}.log", 7, day), "/l/7-2024-03-05{x}.log");
}

TEST(Telnet, CommandsAreAnsweredAndTakenOutWhereverAReadEnds) {
    struct Case {
        std::string received, data, replies;
    };
    const Case cases[] = {
        {"a\xff\xff"
         "b\xff\xf1"
         "c",
         "a\xff"
         "bc",
         ""},
        // ECHO and SUPPRESS-GO-AHEAD from the server, BINARY both ways; once each.
        {"\xff\xfb\x01\xff\xfb\x01\xff\xfb\x03\xff\xfd\x00\xff\xfb\x00"s, "",
         "\xff\xfd\x01\xff\xfd\x03\xff\xfb\x00\xff\xfd\x00"s},
        // Refused: the console echoes nothing, sends no terminal type, no
        // com-port control; withdrawn options are acknowledged.
        {"\xff\xfd\x01\xff\xfd\x18\xff\xfb\x2c\xff\xfb\x01\xff\xfc\x01", "",
         "\xff\xfc\x01\xff\xfc\x18\xff\xfe\x2c\xff\xfd\x01\xff\xfe\x01"},
        {"x\xff\xfa\x2c\x01\xff\xff\x02\xff\xf0y", "xy", ""},
    };
    for (const Case& c : cases) {
        for (const std::size_t step : {c.received.size(), std::size_t{1}}) {
            TelnetFilter filter;
            Bytes data, replies;
            for (std::size_t at = 0; at < c.received.size(); at += step) {
                const std::string piece = c.received.substr(at, step);
                filter.Receive({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()},
                               data, replies);
            }
            EXPECT_EQ(std::string(data.begin(), data.end()), c.data) << step;
            EXPECT_EQ(std::string(replies.begin(), replies.end()), c.replies) << step;
        }
    }
}

TEST(Telnet, AConsoleThroughSer2netShowsOnlyTheDataAndSendsOne255) {
    if (RunProgram({"sh", "-c", "command -v ser2net && command -v socat"}).status != 0) {
        GTEST_SKIP() << "ser2net or socat is missing (scripts/setup-debian.sh installs them)";
    }
    TemporaryDirectory directory;
    const std::string port =
        std::to_string(platform::SocketListener::ListenTcp("127.0.0.1", "0").listener.Port());
    std::ofstream(directory / "ser2net.yaml")
        << "connection: &c\n  accepter: telnet,tcp,127.0.0.1," << port
        << "\n  connector: serialdev," << directory / "tty"
        << ",9600n81,local\n";
    std::ofstream(directory / "sent") << "one\xff\r\ntwo";
    Program line({"socat", "pty,raw,echo=0,link=" + directory / "tty",
                  "SYSTEM:sleep 1; cat " + directory / "sent" + "; cat >" + directory / "got"});
    ASSERT_TRUE(Eventually([&] { return access((directory / "tty").c_str(), F_OK) == 0; }, 5s));
    Program server({"ser2net", "-n", "-d", "-c", directory / "ser2net.yaml"});
    TestConsole console;
    console.record.telnet = true;
    ASSERT_TRUE(Eventually(
        [&] {
            console.record.pipePath = "\\\\127.0.0.1\\pipe\\" + port;
            console.record.pipe =
                std::move(platform::PipeConnection::Open(console.record.pipePath).connection);
            return console.record.pipe.IsOpen();
        },
        5s));
    ConsoleThread reader(console.record);
    ConsoleThread writer(console.record, PipeWriter);
    EXPECT_TRUE(Eventually([&] { return console.Cell(1, 2) == 'o'; }, 5s));
    // Negotiation that reached the emulator would show ({ for WILL, } for DO);
    // the data byte 255, sent as IAC IAC, arrives as one (7-bit: DEL).
    EXPECT_EQ(RowText(console, 0, 6) + RowText(console, 1, 6), "one\x7f  two   ");
    TypeKey(console.record, 0xFF);
    EXPECT_TRUE(Eventually([&] { return FileText(directory / "got") == "\xff"; }, 5s));
}

TEST(PipeReader, AReconnectingConsoleWaitsForItsServerAndGoesOnWithItsScreen) {
    TemporaryDirectory directory;
    WarningFrame frame;
    TestConsole console;
    console.record.reconnect = true;
    StateWindow window(console.record);
    auto listening = platform::SocketListener::ListenLocal(directory / "P");
    console.record.pipePath = directory / "P";
    console.record.pipe = std::move(platform::PipeConnection::Open(directory / "P").connection);
    ConsoleThread reader(console.record);
    ConsoleThread writer(console.record, PipeWriter);
    {
        const platform::PipeConnection first = std::move(listening.listener.Accept().connection);
        ASSERT_TRUE(::send(first.Descriptor(), "before", 6, MSG_NOSIGNAL) == 6);
        EXPECT_TRUE(Eventually([&] { return console.Cell(0, 5) == 'e'; }, 5s));
        listening = {};
    } // the server has gone
    ASSERT_TRUE(Eventually([&] { return console.record.waitingForServer.load(); }, 5s));
    TypeKey(console.record, 'k');
    EXPECT_EQ(frame.beeps.load(), 1);
    listening = platform::SocketListener::ListenLocal(directory / "P");
    const platform::PipeConnection second = std::move(listening.listener.Accept().connection);
    ASSERT_TRUE(::send(second.Descriptor(), "\r\nafter", 7, MSG_NOSIGNAL) == 7);
    EXPECT_TRUE(Eventually([&] { return console.Cell(1, 4) == 'r'; }, 5s));
    EXPECT_EQ(RowText(console, 0, 6) + RowText(console, 1, 5), "beforeafter");
    TypeKey(console.record, 'k');
    char typed = 0;
    EXPECT_EQ(::recv(second.Descriptor(), &typed, 1, 0), 1);
    EXPECT_EQ(typed, 'k'); // nothing typed while waiting is sent late
    reader.Stop();
    EXPECT_EQ(window.states, (std::vector<bool>{true, false}));
}

TEST(ConsoleDefinition, ALineRunAfterStartUpDefinesAConsoleOrReturnsTheConMessage) {
    const DefinitionSetUp setUp;
    const TemporaryDirectory& directory = setUp.directory;
    const std::string pipe = directory / "P", none = directory / "none";
    const std::pair<std::string, std::optional<std::string>> lines[] = {
        {"CON /WIDTH:100 = " + pipe, "Width must be 80 or 132 columns"},
        {"CON /TELNET:maybe = " + pipe, "Option value must be ON, OFF, YES or NO"},
        {"CON = " + none, std::string(std::strerror(ENOENT)) + "[" + none + "]"},
        {"Reconnect = on", std::nullopt},
        {"CON /UNIT:3/UNITNAME:\"A B\"/HEIGHT:30/TELNET:on = " + pipe, std::nullopt},
        {"CON /UNIT:3 = " + pipe, "Unit number already in use"},
        {"CON /RECONNECT:off = " + pipe, std::nullopt},
    };
    for (const auto& [line, error] : lines) {
        EXPECT_EQ(config::RunConfigurationLine(line), error) << line;
    }
    const ConsoleRecord* first = Consoles().At(3);
    const ConsoleRecord* second = Consoles().At(0);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Consoles().Count(), 2);
    EXPECT_EQ((std::tuple{first->unitName, first->screen->rows, first->telnet, first->reconnect,
                          second->reconnect}),
              (std::tuple{"A B", 30u, true, true, false}));
    Consoles().Reset();
}

} // namespace
} // namespace kestra::console
