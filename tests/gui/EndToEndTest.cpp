// kestra itself under a private X server, driven with xdotool as a user
// would: what it shows, how it ends and with which status.
#include "console/Properties.h"
#include "platform/Process.h"
#include "platform/qt/IniSettingsStore.h"

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace kestra;

namespace {

const std::string kProgram = KESTRA_BINARY_DIR "/bin/kestra";
const std::string kServe = KESTRA_BINARY_DIR "/bin/kestra-serve";

bool CommandExists(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = "/tmp/kgui-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A private X server for one test.
class XServer {
public:
    XServer() {
        for (int number = 100 + ::getpid() % 400; number < 1000; ++number) {
            if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) &&
                !std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
                display_ = ":" + std::to_string(number);
                socket_ = "/tmp/.X11-unix/X" + std::to_string(number);
                break;
            }
        }
        const platform::ProcessStart start = platform::StartProcess(
            {"Xvfb", display_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        pid_ = start.pid;
        for (int i = 0; i < 500 && !std::filesystem::exists(socket_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~XServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            platform::WaitForChild(pid_);
        }
    }
    bool Running() const { return pid_ > 0 && std::filesystem::exists(socket_); }
    const std::string& Display() const { return display_; }

    // Runs xdotool with the arguments (a shell word list); its output.
    std::string Xdotool(const std::string& arguments) const {
        const std::string command =
            "export DISPLAY=" + display_ + "; timeout 20 xdotool " + arguments + " 2>/dev/null";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                output += buffer;
            }
            ::pclose(pipe);
        }
        while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
            output.pop_back();
        }
        return output;
    }

    // The first visible window whose title is exactly title, waiting for it.
    std::string FindWindow(const std::string& title) const {
        const std::string found =
            Xdotool("search --sync --onlyvisible --name '^" + title + "$' | head -n 1");
        return found;
    }

    // The same without waiting: empty when there is none yet.
    std::string FindWindowNow(const std::string& title) const {
        return Xdotool("search --onlyvisible --name '^" + title + "$' | head -n 1");
    }

    // Types the keys again until done() says they took effect: a key typed
    // while a freshly mapped window takes the focus can be lost.
    bool TypeUntil(const std::string& window, const std::string& keys,
                   const std::function<bool()>& done) const {
        for (int attempt = 0; attempt < 5; ++attempt) {
            Type(window, keys);
            for (int i = 0; i < 20; ++i) {
                if (done()) {
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return false;
    }

    // Gives the window the keyboard focus and types the keys into it.
    void Type(const std::string& window, const std::string& keys) const {
        Xdotool("windowfocus --sync " + window);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Xdotool("key --delay 100 " + keys);
    }

private:
    std::string display_;
    std::string socket_;
    pid_t pid_ = -1;
};

// One run of kestra with its own settings directory, the terminal definition
// file of the source tree and standard error kept.
class KestraRun {
public:
    KestraRun(const XServer& x, const TemporaryDirectory& directory,
              const std::vector<std::string>& arguments)
        : errors_(directory / "stderr.txt") {
        std::string command = "exec '" + kProgram + "'";
        for (const std::string& argument : arguments) {
            command += " '" + argument + "'";
        }
        command += " 2>'" + errors_ + "'";
        const platform::ProcessStart start =
            platform::StartProcess({"env", "DISPLAY=" + x.Display(), "QT_QPA_PLATFORM=xcb",
                                    "XDG_CONFIG_HOME=" + directory / "config",
                                    "CNF=" KESTRA_SOURCE_DIR "/data", "/bin/sh", "-c", command});
        pid_ = start.pid;
        status_ =
            std::async(std::launch::async, [pid = pid_] { return platform::WaitForChild(pid); });
    }
    ~KestraRun() {
        if (pid_ > 0 && !ended_ && status_.valid() &&
            status_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            ::kill(pid_, SIGKILL);
        }
    }
    pid_t Pid() const { return pid_; }
    // The exit status, or -1 when the program is still running after timeoutMs.
    int Status(int timeoutMs = 20000) {
        if (!ended_) {
            if (status_.wait_for(std::chrono::milliseconds(timeoutMs)) !=
                std::future_status::ready) {
                return -1;
            }
            ended_ = status_.get();
        }
        return *ended_;
    }
    std::string Errors() const { return ReadFile(errors_); }

private:
    std::string errors_;
    pid_t pid_ = -1;
    std::future<int> status_;
    std::optional<int> ended_;
};

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kProgram)) << kProgram << " is missing";
        if (!CommandExists("Xvfb") || !CommandExists("xdotool")) {
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/setup-debian.sh installs them)";
        }
        x_ = std::make_unique<XServer>();
        ASSERT_TRUE(x_->Running()) << "Xvfb did not start";
    }

    std::unique_ptr<XServer> x_;
    TemporaryDirectory directory_;
};

struct FailureCase {
    const char* name;
    std::vector<std::string> arguments; // "@" stands for the missing file
    const char* dialog;
    std::string message; // what standard error holds too
};

TEST_F(EndToEndTest, FailuresShowTheirDialogAndEndWithStatus255) {
    const std::string missing = directory_ / "missing.cnf";
    const FailureCase cases[] = {
        {"missing configuration",
         {"/Q", "/C:@"},
         "Fatal Error",
         "Can't open configuration file: " + missing},
        {"help", {"/Q", "/H"}, "Command Line Help", "Command line: KESTRA [Commands] [Options]"},
        {"bad option", {"/Q", "/X"}, "Command Line Help", "Invalid command line option: /X"},
    };
    for (const FailureCase& row : cases) {
        std::vector<std::string> arguments;
        for (const std::string& argument : row.arguments) {
            arguments.push_back(argument == "/C:@" ? "/C:" + missing : argument);
        }
        KestraRun kestra(*x_, directory_, arguments);
        const std::string dialog = x_->FindWindow(row.dialog);
        ASSERT_FALSE(dialog.empty()) << row.name << ": no dialog; stderr: " << kestra.Errors();
        EXPECT_EQ(kestra.Status(300), -1) << row.name << ": the program waits for the user";
        EXPECT_TRUE(x_->TypeUntil(dialog, "alt+s", [&] { return kestra.Status(0) != -1; }))
            << row.name;
        EXPECT_EQ(kestra.Status(), 255) << row.name;
        EXPECT_NE(kestra.Errors().find(row.message), std::string::npos)
            << row.name << ": " << kestra.Errors();
    }
}

TEST_F(EndToEndTest, FrameShowsTheConfiguredTitleAndExitEndsWithStatus0) {
    const std::string configuration = directory_ / "lab.cnf";
    std::ofstream(configuration) << "QuietMode = on\nTitle = Lab   consoles\n";
    KestraRun kestra(*x_, directory_, {"/C:" + configuration});
    const std::string frame = x_->FindWindow("Lab   consoles");
    ASSERT_FALSE(frame.empty()) << "no frame titled from the configuration; stderr: "
                                << kestra.Errors();
    std::string question;
    ASSERT_TRUE(x_->TypeUntil(frame, "alt+f x", [&] { // File > Exit...
        question = x_->FindWindowNow("Shutdown");
        return !question.empty();
    })) << "Exit did not ask";
    EXPECT_TRUE(x_->TypeUntil(question, "alt+s", [&] { return kestra.Status(0) != -1; }));
    EXPECT_EQ(kestra.Status(), 0) << kestra.Errors();
    // Save on Program Exit wrote the Properties into the settings file.
    std::string saved;
    for (const auto& entry :
         std::filesystem::directory_iterator(directory_ / "config/Marrow Data")) {
        if (entry.path().stem() == "KESTRA") {
            saved = ReadFile(entry.path());
        }
    }
    EXPECT_NE(saved.find("Properties=1 1 1 1 1 0 0 1 0"), std::string::npos) << saved;
}

// Consoles on two kestra-serve sockets: the program comes up with its frame
// titled from the configuration, the servers see the connections, and File >
// Exit ends it with status 0.
TEST_F(EndToEndTest, ConsolesOnServerSocketsStartAndExitEndsWithStatus0) {
    ASSERT_TRUE(std::filesystem::exists(kServe)) << kServe << " is missing";
    std::vector<pid_t> servers;
    std::vector<std::string> marks;
    for (int unit = 1; unit <= 2; ++unit) {
        const std::string socket = directory_ / ("s" + std::to_string(unit));
        const std::string mark = directory_ / ("connected" + std::to_string(unit));
        marks.push_back(mark);
        servers.push_back(platform::StartProcess({kServe, socket, "--", "/bin/sh", "-c",
                                                  "touch '" + mark + "'; exec cat"})
                              .pid);
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    const std::string configuration = directory_ / "lab.cnf";
    std::ofstream(configuration) << "QuietMode = on\nTitle = Two consoles\n"
                                 << "CON /UNIT:1 = " << directory_ / "s1"
                                 << "\n"
                                 << "CON /UNIT:2 /UNITNAME:Second = " << directory_ / "s2"
                                 << "\n";
    {
        KestraRun kestra(*x_, directory_, {"/C:" + configuration});
        const std::string frame = x_->FindWindow("Two consoles");
        ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << kestra.Errors();
        for (const std::string& mark : marks) {
            for (int i = 0; i < 200 && !std::filesystem::exists(mark); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_TRUE(std::filesystem::exists(mark)) << "a server saw no connection";
        }
        std::string question;
        ASSERT_TRUE(x_->TypeUntil(frame, "alt+f x", [&] {
            question = x_->FindWindowNow("Shutdown");
            return !question.empty();
        })) << "Exit did not ask";
        EXPECT_TRUE(x_->TypeUntil(question, "alt+s", [&] { return kestra.Status(0) != -1; }));
        EXPECT_EQ(kestra.Status(), 0) << kestra.Errors();
    }
    for (const pid_t server : servers) {
        ::kill(server, SIGTERM);
        platform::WaitForChild(server);
    }
}

// Restart from the Fatal Error dialog: the old instance ends with 255 and a
// new one runs with the old arguments and /W: with the old process id (it
// waits for that process before it reads anything, and then reports the same
// missing file).
TEST_F(EndToEndTest, RestartStartsANewInstanceThatWaitsForTheOldOne) {
    const std::string missing = directory_ / "missing.cnf";
    KestraRun kestra(*x_, directory_, {"/Q", "/C:" + missing});
    const std::string dialog = x_->FindWindow("Fatal Error");
    ASSERT_FALSE(dialog.empty()) << kestra.Errors();
    EXPECT_TRUE(x_->TypeUntil(dialog, "alt+r", [&] { return kestra.Status(0) != -1; }));
    EXPECT_EQ(kestra.Status(), 255);

    // The new instance reports the same file in its own dialog. Window ids
    // of an ended client may be given out again, so the process tells them
    // apart.
    std::string second;
    std::string pidText;
    for (int i = 0; i < 250 && second.empty(); ++i) {
        std::istringstream windows(x_->Xdotool("search --onlyvisible --name '^Fatal Error$'"));
        for (std::string window; windows >> window;) {
            const std::string owner = x_->Xdotool("getwindowpid " + window);
            if (!owner.empty() && owner != std::to_string(kestra.Pid())) {
                second = window;
                pidText = owner;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(second.empty())
        << "no restarted instance; windows: "
        << x_->Xdotool("search --name . | while read w; do echo \"$w $(xdotool getwindowname "
                       "$w) $(xdotool getwindowpid $w)\"; done")
        << "; standard error: " << kestra.Errors() << "; processes: " << [] {
               std::string list;
               if (FILE* pipe = ::popen("ps -eo pid,ppid,stat,args | grep [b]in/kestra", "r")) {
                   char buffer[512];
                   while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                       list += buffer;
                   }
                   ::pclose(pipe);
               }
               return list;
           }();
    const pid_t restarted = static_cast<pid_t>(std::stol(pidText));
    std::string commandLine = ReadFile("/proc/" + pidText + "/cmdline");
    std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
    char waitSwitch[16];
    std::snprintf(waitSwitch, sizeof waitSwitch, "/W:%08X", static_cast<unsigned>(kestra.Pid()));
    EXPECT_NE(commandLine.find("/Q /C:" + missing + " " + waitSwitch), std::string::npos)
        << commandLine;
    EXPECT_TRUE(x_->TypeUntil(second, "alt+s", [&] { return ::kill(restarted, 0) != 0; }))
        << "the restarted instance did not end";
}

// The cells of a console window that fills the frame's client area (the
// consoles maximised), found in a picture of the frame as the background
// around the picture's middle, which is an empty cell of the console.
struct CellArea {
    QRect client;
    QRgb background = 0;
    int cellWidth = 0;
    int cellHeight = 0;
    int marginLeft = 0;
    int marginTop = 0;

    QRect Cell(int row, int column) const {
        return {client.left() + marginLeft + column * cellWidth,
                client.top() + marginTop + row * cellHeight, cellWidth, cellHeight};
    }
};

std::optional<CellArea> FindCellArea(const QImage& picture, int rows, int columns) {
    if (picture.isNull()) {
        return std::nullopt;
    }
    const QPoint middle(picture.width() / 2, picture.height() / 2);
    CellArea area;
    area.background = picture.pixel(middle);
    const auto isBackground = [&](int x, int y) {
        return picture.valid(x, y) && picture.pixel(x, y) == area.background;
    };
    int left = middle.x();
    int right = middle.x();
    int top = middle.y();
    int bottom = middle.y();
    while (isBackground(left - 1, middle.y())) {
        --left;
    }
    while (isBackground(right + 1, middle.y())) {
        ++right;
    }
    while (isBackground(middle.x(), top - 1)) {
        --top;
    }
    while (isBackground(middle.x(), bottom + 1)) {
        ++bottom;
    }
    area.client = QRect(QPoint(left, top), QPoint(right, bottom));
    // The window's own rule: two pixels of border at least, the rest shared
    // out between the cells, what is left over split between the margins.
    area.cellWidth = (area.client.width() - 4) / columns;
    area.cellHeight = (area.client.height() - 4) / rows;
    if (area.cellWidth <= 0 || area.cellHeight <= 0) {
        return std::nullopt;
    }
    area.marginLeft = (area.client.width() - columns * area.cellWidth) / 2;
    area.marginTop = (area.client.height() - rows * area.cellHeight) / 2;
    return area;
}

bool CellHasInk(const QImage& picture, const CellArea& area, int row, int column) {
    const QRect cell = area.Cell(row, column);
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            if (picture.pixel(x, y) != area.background) {
                return true;
            }
        }
    }
    return false;
}

// What a row of the picture shows: '#' for a cell with ink, '.' for an empty
// one, for failure messages.
std::string RowPicture(const QImage& picture, const CellArea& area, int row, int columns) {
    std::string text;
    for (int column = 0; column < columns; ++column) {
        text += CellHasInk(picture, area, row, column) ? '#' : '.';
    }
    return text;
}

// A user types a line into the active console: the server behind it gets
// the line, and what the server sends back is painted in the console's cells.
TEST_F(EndToEndTest, ALineTypedIntoAConsoleReachesTheServerAndItsEchoIsShown) {
    ASSERT_TRUE(std::filesystem::exists(kServe)) << kServe << " is missing";
    if (!CommandExists("import")) {
        GTEST_SKIP() << "needs import (imagemagick) for the screenshot";
    }
    const std::string received = directory_ / "received";
    // Each line the server reads is kept and answered; the terminal of the
    // server's pseudo-terminal echoes the typed characters first.
    const std::string script = "while IFS= read -r line; do printf '%s\\n' \"$line\" >> '" +
                               received + "'; printf 'GOT %s\\n' \"$line\"; done";
    // Ended however the test ends, so that no server outlives it.
    struct Servers {
        std::vector<pid_t> pids;
        ~Servers() {
            for (const pid_t server : pids) {
                ::kill(server, SIGTERM);
                platform::WaitForChild(server);
            }
        }
    } servers;
    for (int unit = 1; unit <= 2; ++unit) {
        const std::string socket = directory_ / ("s" + std::to_string(unit));
        servers.pids.push_back(
            platform::StartProcess({kServe, socket, "--", "/bin/sh", "-c", script}).pid);
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // The frame at a known size with the consoles maximised: the active
    // console's cells then fill the frame below its menu bar.
    std::filesystem::create_directories(directory_ / "config/Marrow Data");
    {
        auto store = platform::IniSettingsStore::AtPath(
            QString::fromStdString(directory_ / "config/Marrow Data/KESTRA.conf"));
        store->Write("Window",
                     console::FormatFramePlacement({console::kShowNormal, true, {0, 0, 800, 600}}));
        ASSERT_TRUE(store->Commit());
    }
    const std::string configuration = directory_ / "typing.cnf";
    std::ofstream(configuration) << "QuietMode = on\nTitle = Typing\n"
                                 << "CON /UNITNAME:First = " << directory_ / "s1"
                                 << "\n"
                                 << "CON /UNITNAME:Second = " << directory_ / "s2"
                                 << "\n";
    const auto receivedLines = [&] {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(received));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    };
    {
        KestraRun kestra(*x_, directory_, {"/C:" + configuration});
        // The maximised console's name follows the frame's title.
        const std::string frame = x_->FindWindow("Typing.*");
        ASSERT_FALSE(frame.empty()) << "no frame; stderr: " << kestra.Errors();
        // Empty lines until one arrives: the console has the keyboard then.
        ASSERT_TRUE(x_->TypeUntil(frame, "Return", [&] { return !receivedLines().empty(); }))
            << "nothing typed reached the server; stderr: " << kestra.Errors();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::size_t emptyLines = receivedLines().size();
        x_->Type(frame, "k e s t r a space 4 2 Return");
        for (int i = 0; i < 100 && receivedLines().size() <= emptyLines; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const std::vector<std::string> lines = receivedLines();
        ASSERT_EQ(lines.size(), emptyLines + 1) << ReadFile(received);
        EXPECT_EQ(lines.back(), "kestra 42");

        // Each line took two rows: the echo of the typed line, then the answer.
        const int echoRow = static_cast<int>(2 * emptyLines);
        const int answerRow = echoRow + 1;
        const int emptyRow = answerRow + 4;
        ASSERT_LT(emptyRow, 24);
        const std::string expectedEcho = std::string("######.##") + std::string(71, '.');
        const std::string expectedAnswer = std::string("###.######.##") + std::string(67, '.');
        const std::string expectedEmpty(80, '.');
        const std::string shot = directory_ / "typing.png";
        std::string echo;
        std::string answer;
        std::string empty;
        // The last repaint may still be on its way: look again for a while.
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::system(("import -display " + x_->Display() + " -window " + frame + " '" + shot +
                         "' 2>/dev/null")
                            .c_str());
            const QImage picture(QString::fromStdString(shot));
            if (const std::optional<CellArea> area = FindCellArea(picture, 24, 80)) {
                echo = RowPicture(picture, *area, echoRow, 80);
                answer = RowPicture(picture, *area, answerRow, 80);
                empty = RowPicture(picture, *area, emptyRow, 80);
                if (echo == expectedEcho && answer == expectedAnswer) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        EXPECT_EQ(echo, expectedEcho) << "the echoed line's cells";
        EXPECT_EQ(answer, expectedAnswer) << "the answer's cells";
        EXPECT_EQ(empty, expectedEmpty) << "a row nothing was written to";
    }
}

} // namespace
