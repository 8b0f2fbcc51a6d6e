#pragma once

// The end-to-end fixture: kestra itself under a private X server, with
// kestra-serve or a scripted socket server at the other end of its consoles,
// driven with xdotool and xclip as a user would, and looked at through
// screenshots of the real display. Every process a test starts is ended when
// the object that started it goes, however the test ends.

#include "platform/SocketListener.h"

#include <QImage>
#include <QRect>
#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

// Rectangles in failure messages as position and size.
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << "(" << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height()
         << ")";
}

namespace kestra::e2e {

inline const std::string kProgram = KESTRA_BINARY_DIR "/bin/kestra";
inline const std::string kServe = KESTRA_BINARY_DIR "/bin/kestra-serve";

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view text);
bool CommandExists(const char* name);
// Runs a shell command line; its standard output with trailing white space
// removed. Every command run this way is bounded by `timeout`.
std::string RunShell(const std::string& commandLine);
// Asks done() every stepMs until it holds or timeoutMs passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000, int stepMs = 50);
std::string Quoted(const std::string& word); // for a shell command line

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A child process that is ended (stopSignal, then SIGKILL after a grace
// period) and reaped when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    explicit ChildProcess(const std::vector<std::string>& argv, int stopSignal = SIGTERM);
    ~ChildProcess() { Stop(); }
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // The exit status (128 + signal when killed), or -1 while it still runs
    // after timeoutMs.
    int Wait(int timeoutMs);
    void Stop();

private:
    pid_t pid_ = -1;
    int stopSignal_ = SIGTERM;
    std::optional<int> status_;
};

// A private X server for one test, on the first free display from
// 100 + pid % 400 upward.
class XServer {
public:
    XServer();
    bool Running() const { return running_; }
    const std::string& Display() const { return display_; }

    // Runs xdotool with the arguments (a shell word list); its output.
    std::string Xdotool(const std::string& arguments) const;
    // Visible windows whose name matches the regular expression, waiting at
    // most timeoutMs for the first; empty when there is none.
    std::vector<std::string> FindWindows(const std::string& pattern, int timeoutMs = 10000) const;
    std::string FindWindow(const std::string& pattern, int timeoutMs = 10000) const;
    std::string WindowName(const std::string& window) const;
    // Gives the window the keyboard focus and types the keys (xdotool key
    // names) into it.
    void Key(const std::string& window, const std::string& keys) const;
    // Types the keys again until done() says they took effect: a key typed
    // while a freshly mapped window takes the focus can be lost.
    bool KeyUntil(const std::string& window, const std::string& keys,
                  const std::function<bool()>& done) const;
    // Presses the left button at one point of the window and releases it at
    // another, moving in steps as a hand would.
    void Drag(const std::string& window, QPoint from, QPoint to) const;
    // The window as it is on the display now.
    QImage Screenshot(const std::string& window, const std::string& file) const;
    // The text of the CLIPBOARD selection; nothing when nobody owns it.
    std::optional<std::string> Clipboard() const;

private:
    ChildProcess process_;
    std::string display_;
    bool running_ = false;
};

// One run of kestra with its own settings directory, the terminal definition
// file of the source tree and standard error kept in a file.
class KestraRun {
public:
    KestraRun(const XServer& x, const TemporaryDirectory& directory,
              const std::vector<std::string>& arguments, const std::string& errorsFile = "stderr");
    pid_t Pid() const { return process_.Pid(); }
    // The exit status, or -1 when the program still runs after timeoutMs.
    int Status(int timeoutMs = 20000) { return process_.Wait(timeoutMs); }
    bool Running() { return Status(0) == -1; }
    std::string Errors() const { return ReadFile(errors_); }

private:
    std::string errors_;
    ChildProcess process_;
};

// A server a test plays itself: listens on a Unix socket, accepts one
// console, records every byte it receives and sends what it is told to.
class ScriptedServer {
public:
    explicit ScriptedServer(const std::string& socketPath);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    bool Listening() const { return listening_; }
    bool Connected() const { return connected_; }
    std::string Received() const;
    // What was received, one piece per read, with the time it came.
    struct Piece {
        std::chrono::steady_clock::time_point time;
        std::string bytes;
    };
    std::vector<Piece> ReceivedPieces() const;
    void ClearReceived();
    bool Send(std::string_view bytes);
    // Waits until the bytes received so far contain the text.
    bool WaitForReceived(std::string_view text, int timeoutMs = 5000) const;
    // Sends the bytes, then the query, and waits for the terminal's answer:
    // once it is back, everything sent before it has been handled. Clears
    // what was received.
    bool SendAndSync(std::string_view bytes, std::string_view query, std::string_view answer);
    // Closes the connection, as a server that shuts down does.
    void Disconnect();

private:
    void Run();

    std::atomic<bool> listening_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> connection_{-1};
    mutable std::mutex mutex_;
    std::vector<Piece> received_;
    platform::SocketListener listener_;
    std::thread thread_;
};

// kestra-serve on a socket, running a command for each console.
ChildProcess StartServe(const std::string& socket, const std::string& script);

// Where the cells of a console are in a screenshot: the client area (found as
// the console's background around a point known to be inside it) and the
// window's own geometry rule for cells and margins.
struct CellArea {
    QRect client;
    QRgb background = 0;
    int cellWidth = 0;
    int cellHeight = 0;
    int marginLeft = 0;
    int marginTop = 0;

    QRect Cell(int row, int column) const;
};
std::optional<CellArea> FindCellArea(const QImage& picture, QPoint inside, int rows, int columns);
// What a row of cells shows: '#' for a cell with ink, '.' for an empty one.
std::string InkRow(const QImage& picture, const CellArea& area, int row, int columns);
// The same expectation made from text: '#' for every character but a blank.
std::string InkOf(std::string_view text, int columns);
// Bounding boxes of the connected areas of exactly this colour that hold at
// least minimumPixels pixels, largest first.
std::vector<QRect> ColourRegions(const QImage& picture, QRgb colour, int minimumPixels);

bool Near(int a, int b, int slack);
// Two console areas one after the other along one direction (down the frame
// when stacked, across it otherwise), each filling the frame in the other.
bool Tiled(std::vector<QRect> regions, QSize frame, bool stacked);

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The settings file of the runs of this test; values are raw texts.
    std::string SettingsFile() const;
    void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values);
    std::optional<std::string> ReadSetting(const std::string& name) const;
    // A configuration file in the test's directory.
    std::string WriteConfiguration(const std::string& name, const std::string& text);
    // A quiet configuration titled `title` with one console per unit name,
    // each on the socket of that name in the test's directory.
    std::string ConsolesConfiguration(const std::string& title,
                                      const std::vector<std::string>& units);
    // Starts kestra on that configuration and finds its frame (kestra_, frame_).
    void StartKestra(const std::string& title, const std::vector<std::string>& units);
    // File > Exit..., then Shutdown in the question; the exit status.
    int ExitThroughMenu(KestraRun& kestra, const std::string& frame);
    // Screenshots of the window until check() accepts one (the last repaint
    // may still be on its way); the last picture taken.
    QImage ScreenshotUntil(const std::string& window,
                           const std::function<bool(const QImage&)>& check, int timeoutMs = 5000);

    std::unique_ptr<XServer> x_;
    TemporaryDirectory directory_;
    std::unique_ptr<KestraRun> kestra_;
    std::string frame_;
};

} // namespace kestra::e2e
