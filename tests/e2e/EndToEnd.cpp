#include "e2e/EndToEnd.h"

#include "platform/Process.h"
#include "platform/qt/IniSettingsStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestra::e2e {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool CommandExists(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (const char character : word) {
        quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    }
    return quoted + "'";
}

std::string RunShell(const std::string& commandLine) {
    std::string output;
    if (FILE* pipe = ::popen(commandLine.c_str(), "r")) {
        char buffer[512];
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

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = "/tmp/ke2e-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int stopSignal)
    : pid_(platform::StartProcess(argv).pid), stopSignal_(stopSignal) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), stopSignal_(other.stopSignal_), status_(other.status_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        pid_ = std::exchange(other.pid_, -1);
        stopSignal_ = other.stopSignal_;
        status_ = other.status_;
    }
    return *this;
}

int ChildProcess::Wait(int timeoutMs) {
    if (pid_ <= 0) {
        return -1;
    }
    if (!status_) {
        WaitUntil(
            [this] {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) != pid_) {
                    return false;
                }
                status_ = WIFEXITED(status)     ? WEXITSTATUS(status)
                          : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                : -1;
                return true;
            },
            timeoutMs, 10);
    }
    return status_.value_or(-1);
}

void ChildProcess::Stop() {
    if (pid_ <= 0 || Wait(0) != -1) {
        return;
    }
    ::kill(pid_, stopSignal_);
    // kestra-serve gives its commands a few seconds to end on their hang-up.
    if (Wait(5000) == -1) {
        ::kill(pid_, SIGKILL);
        Wait(5000);
    }
}

XServer::XServer() {
    if (!CommandExists("Xvfb")) {
        return;
    }
    // The server picks a free display itself and writes its number once it
    // takes connections. Choosing a number here and probing it raced with
    // servers that other jobs on the same machine run in their own /tmp but
    // a shared socket namespace.
    int numberPipe[2];
    if (::pipe2(numberPipe, O_CLOEXEC) != 0) {
        return;
    }
    const int writeEnd = ::fcntl(numberPipe[1], F_DUPFD, 3); // inherited: no close-on-exec
    ::close(numberPipe[1]);
    if (writeEnd != -1) {
        process_ = ChildProcess({"Xvfb", "-displayfd", std::to_string(writeEnd), "-noreset",
                                 "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        ::close(writeEnd);
    }
    std::string number;
    pollfd readable{numberPipe[0], POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[16];
        const ssize_t got = ::read(numberPipe[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        number.append(buffer, static_cast<size_t>(got));
    }
    ::close(numberPipe[0]);
    running_ = number.find('\n') != std::string::npos && process_.Wait(0) == -1;
    if (running_) {
        display_ = ":" + number.substr(0, number.find('\n'));
    } else {
        process_.Stop();
    }
}

std::string XServer::Xdotool(const std::string& arguments) const {
    return RunShell("export DISPLAY=" + display_ + "; timeout 10 xdotool " + arguments +
                    " 2>/dev/null");
}

std::vector<std::string> XServer::FindWindows(const std::string& pattern, int timeoutMs) const {
    std::vector<std::string> windows;
    WaitUntil(
        [&] {
            std::istringstream found(Xdotool("search --onlyvisible --name " + Quoted(pattern)));
            windows.clear();
            for (std::string window; found >> window;) {
                windows.push_back(window);
            }
            return !windows.empty();
        },
        timeoutMs, 100);
    return windows;
}

std::string XServer::FindWindow(const std::string& pattern, int timeoutMs) const {
    const std::vector<std::string> windows = FindWindows(pattern, timeoutMs);
    return windows.empty() ? std::string() : windows.front();
}

std::string XServer::WindowName(const std::string& window) const {
    return Xdotool("getwindowname " + window);
}

void XServer::Key(const std::string& window, const std::string& keys) const {
    Xdotool("windowfocus --sync " + window);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Xdotool("key --delay 80 " + keys);
}

bool XServer::KeyUntil(const std::string& window, const std::string& keys,
                       const std::function<bool()>& done) const {
    for (int attempt = 0; attempt < 5; ++attempt) {
        Key(window, keys);
        if (WaitUntil(done, 2000, 100)) {
            return true;
        }
    }
    return false;
}

void XServer::Drag(const std::string& window, QPoint from, QPoint to) const {
    const auto at = [&](QPoint point) {
        return "mousemove --window " + window + " " + std::to_string(point.x()) + " " +
               std::to_string(point.y());
    };
    std::string steps = at(from) + " sleep 0.1 mousedown 1 sleep 0.1";
    for (int step = 1; step <= 4; ++step) {
        const QPoint between = from + (to - from) * step / 4;
        steps += " " + at(between) + " sleep 0.05";
    }
    Xdotool(steps + " mouseup 1");
}

QImage XServer::Screenshot(const std::string& window, const std::string& file) const {
    std::filesystem::remove(file);
    RunShell("timeout 10 import -display " + display_ + " -window " + window + " " + Quoted(file) +
             " 2>/dev/null");
    return QImage(QString::fromStdString(file));
}

std::optional<std::string> XServer::Clipboard() const {
    const std::string marker = "<none>";
    const std::string text = RunShell("export DISPLAY=" + display_ +
                                      "; timeout 5 xclip -o -selection clipboard 2>/dev/null || "
                                      "printf '%s' " +
                                      Quoted(marker));
    if (text == marker) {
        return std::nullopt;
    }
    return text;
}

KestraRun::KestraRun(const XServer& x, const TemporaryDirectory& directory,
                     const std::vector<std::string>& arguments, const std::string& errorsFile)
    : errors_(directory / errorsFile) {
    std::string command = "exec " + Quoted(kProgram);
    for (const std::string& argument : arguments) {
        command += " " + Quoted(argument);
    }
    command += " 2>" + Quoted(errors_);
    // A runtime directory of its own keeps Qt from warning on standard error,
    // which the tests compare with the program's messages.
    const std::string runtime = directory / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    process_ =
        ChildProcess({"env", "DISPLAY=" + x.Display(), "QT_QPA_PLATFORM=xcb",
                      "XDG_CONFIG_HOME=" + directory / "config", "XDG_RUNTIME_DIR=" + runtime,
                      "CNF=" KESTRA_SOURCE_DIR "/data", "/bin/sh", "-c", command},
                     SIGKILL);
}

ScriptedServer::ScriptedServer(const std::string& socketPath) {
    platform::ListenResult listen = platform::SocketListener::ListenLocal(socketPath);
    if (!listen.Ok()) {
        return;
    }
    listener_ = std::move(listen.listener);
    listening_ = true;
    thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    Disconnect();
    listener_.CloseAndRemove();
}

void ScriptedServer::Run() {
    pollfd waiting{listener_.Descriptor(), POLLIN, 0};
    while (!stop_ && ::poll(&waiting, 1, 50) <= 0) {
    }
    if (stop_) {
        return;
    }
    const int connection = ::accept(listener_.Descriptor(), nullptr, nullptr);
    if (connection < 0) {
        return;
    }
    connection_ = connection;
    connected_ = true;
    pollfd reading{connection, POLLIN, 0};
    while (!stop_) {
        if (::poll(&reading, 1, 50) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
        if (count <= 0) {
            break;
        }
        std::lock_guard lock(mutex_);
        received_.push_back({std::chrono::steady_clock::now(),
                             std::string(buffer, static_cast<std::size_t>(count))});
    }
}

std::string ScriptedServer::Received() const {
    std::lock_guard lock(mutex_);
    std::string bytes;
    for (const Piece& piece : received_) {
        bytes += piece.bytes;
    }
    return bytes;
}

std::vector<ScriptedServer::Piece> ScriptedServer::ReceivedPieces() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void ScriptedServer::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

bool ScriptedServer::Send(std::string_view bytes) {
    const int connection = connection_;
    return connection >= 0 && ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                                  static_cast<ssize_t>(bytes.size());
}

bool ScriptedServer::WaitForReceived(std::string_view text, int timeoutMs) const {
    return WaitUntil([&] { return Received().find(text) != std::string::npos; }, timeoutMs, 20);
}

bool ScriptedServer::SendAndSync(std::string_view bytes, std::string_view query,
                                 std::string_view answer) {
    ClearReceived();
    const bool synced = Send(std::string(bytes) + std::string(query)) && WaitForReceived(answer);
    ClearReceived();
    return synced;
}

void ScriptedServer::Disconnect() {
    const int connection = connection_.exchange(-1);
    if (connection >= 0) {
        ::shutdown(connection, SHUT_RDWR);
        ::close(connection);
    }
}

ChildProcess StartServe(const std::string& socket, const std::string& script) {
    ChildProcess server({kServe, socket, "--", "/bin/sh", "-c", script});
    WaitUntil([&] { return std::filesystem::exists(socket); }, 5000, 10);
    return server;
}

QRect CellArea::Cell(int row, int column) const {
    return {client.left() + marginLeft + column * cellWidth,
            client.top() + marginTop + row * cellHeight, cellWidth, cellHeight};
}

std::optional<CellArea> FindCellArea(const QImage& picture, QPoint inside, int rows, int columns) {
    if (picture.isNull() || !picture.valid(inside)) {
        return std::nullopt;
    }
    CellArea area;
    area.background = picture.pixel(inside);
    const auto isBackground = [&](int x, int y) {
        return picture.valid(x, y) && picture.pixel(x, y) == area.background;
    };
    // How far the background reaches from the point in one direction.
    const auto reach = [&](int dx, int dy) {
        QPoint point = inside;
        while (isBackground(point.x() + dx, point.y() + dy)) {
            point += QPoint(dx, dy);
        }
        return point;
    };
    area.client =
        QRect(QPoint(reach(-1, 0).x(), reach(0, -1).y()), QPoint(reach(1, 0).x(), reach(0, 1).y()));
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

std::string InkRow(const QImage& picture, const CellArea& area, int row, int columns) {
    std::string text;
    for (int column = 0; column < columns; ++column) {
        const QRect cell = area.Cell(row, column);
        bool ink = false;
        for (int y = cell.top(); y <= cell.bottom() && !ink; ++y) {
            for (int x = cell.left(); x <= cell.right() && !ink; ++x) {
                ink = picture.valid(x, y) && picture.pixel(x, y) != area.background;
            }
        }
        text += ink ? '#' : '.';
    }
    return text;
}

std::string InkOf(std::string_view text, int columns) {
    std::string ink(static_cast<std::size_t>(columns), '.');
    for (std::size_t i = 0; i < text.size() && i < ink.size(); ++i) {
        ink[i] = text[i] == ' ' ? '.' : '#';
    }
    return ink;
}

std::vector<QRect> ColourRegions(const QImage& picture, QRgb colour, int minimumPixels) {
    std::vector<QRect> regions;
    const int width = picture.width();
    const int height = picture.height();
    std::vector<bool> seen(static_cast<std::size_t>(width) * height, false);
    std::vector<QPoint> stack;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t index = static_cast<std::size_t>(y) * width + x;
            if (seen[index] || picture.pixel(x, y) != colour) {
                continue;
            }
            QRect box(x, y, 1, 1);
            int pixels = 0;
            seen[index] = true;
            stack.push_back({x, y});
            while (!stack.empty()) {
                const QPoint point = stack.back();
                stack.pop_back();
                ++pixels;
                box = box.united(QRect(point, QSize(1, 1)));
                for (const QPoint step :
                     {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint next = point + step;
                    if (!picture.valid(next)) {
                        continue;
                    }
                    const std::size_t at = static_cast<std::size_t>(next.y()) * width + next.x();
                    if (!seen[at] && picture.pixel(next) == colour) {
                        seen[at] = true;
                        stack.push_back(next);
                    }
                }
            }
            if (pixels >= minimumPixels) {
                regions.push_back(box);
            }
        }
    }
    std::sort(regions.begin(), regions.end(), [](const QRect& a, const QRect& b) {
        return a.width() * a.height() > b.width() * b.height();
    });
    return regions;
}

bool Near(int a, int b, int slack) {
    return std::abs(a - b) <= slack;
}

namespace {

QRect Transposed(const QRect& rect) {
    return {rect.y(), rect.x(), rect.height(), rect.width()};
}

} // namespace

// Two consoles one after the other along one direction (down the frame when
// stacked, across it otherwise), each filling the frame in the other.
bool Tiled(std::vector<QRect> regions, QSize frame, bool stacked) {
    if (regions.size() != 2) {
        return false;
    }
    if (!stacked) { // the same question about the picture's mirror image
        for (QRect& region : regions) {
            region = Transposed(region);
        }
        frame.transpose();
    }
    std::sort(regions.begin(), regions.end(),
              [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    const QRect& first = regions[0];
    const QRect& second = regions[1];
    return first.bottom() < second.top() && Near(first.left(), second.left(), 2) &&
           Near(first.width(), second.width(), 2) && first.width() > frame.width() * 9 / 10 &&
           Near(first.height(), second.height(), 4) && first.height() > frame.height() / 3;
}

void EndToEndTest::SetUp() {
    ASSERT_TRUE(std::filesystem::exists(kProgram)) << kProgram << " is missing";
    ASSERT_TRUE(std::filesystem::exists(kServe)) << kServe << " is missing";
    for (const char* tool : {"Xvfb", "xdotool", "xclip", "import"}) {
        if (!CommandExists(tool)) {
            GTEST_SKIP() << "needs " << tool << " (scripts/setup-debian.sh installs it)";
        }
    }
    ASSERT_FALSE(directory_.Path().empty()) << "no temporary directory";
    x_ = std::make_unique<XServer>();
    ASSERT_TRUE(x_->Running()) << "Xvfb did not start";
}

std::string EndToEndTest::SettingsFile() const {
    return directory_ / "config/Marrow Data/KESTRA.conf";
}

void EndToEndTest::WriteSettings(const std::vector<std::pair<std::string, std::string>>& values) {
    std::filesystem::create_directories(directory_ / "config/Marrow Data");
    auto store = platform::IniSettingsStore::AtPath(QString::fromStdString(SettingsFile()));
    for (const auto& [name, value] : values) {
        store->Write(name, value);
    }
    ASSERT_TRUE(store->Commit());
}

std::optional<std::string> EndToEndTest::ReadSetting(const std::string& name) const {
    return platform::IniSettingsStore::AtPath(QString::fromStdString(SettingsFile()))->Read(name);
}

std::string EndToEndTest::WriteConfiguration(const std::string& name, const std::string& text) {
    const std::string path = directory_ / name;
    WriteFile(path, text);
    return path;
}

std::string EndToEndTest::ConsolesConfiguration(const std::string& title,
                                                const std::vector<std::string>& units) {
    std::string text = "QuietMode = on\nTitle = " + title + "\n";
    for (const std::string& unit : units) {
        text += "CON /UNITNAME:" + unit + " = " + (directory_ / unit) + "\n";
    }
    return WriteConfiguration(title + ".cnf", text);
}

void EndToEndTest::StartKestra(const std::string& title, const std::vector<std::string>& units) {
    kestra_ = std::make_unique<KestraRun>(
        *x_, directory_, std::vector<std::string>{"/C:" + ConsolesConfiguration(title, units)});
    frame_ = x_->FindWindow("^" + title);
    ASSERT_FALSE(frame_.empty()) << "no frame; stderr: " << kestra_->Errors();
}

int EndToEndTest::ExitThroughMenu(KestraRun& kestra, const std::string& frame) {
    std::string question;
    if (!x_->KeyUntil(frame, "alt+f x", [&] {
            question = x_->FindWindow("^Shutdown$", 0);
            return !question.empty();
        })) {
        ADD_FAILURE() << "File > Exit... did not ask";
        return -1;
    }
    if (!x_->KeyUntil(question, "alt+s", [&] { return !kestra.Running(); })) {
        ADD_FAILURE() << "Shutdown did not end the program";
        return -1;
    }
    return kestra.Status();
}

QImage EndToEndTest::ScreenshotUntil(const std::string& window,
                                     const std::function<bool(const QImage&)>& check,
                                     int timeoutMs) {
    QImage picture;
    int shot = 0;
    WaitUntil(
        [&] {
            picture =
                x_->Screenshot(window, directory_ / ("shot" + std::to_string(shot++) + ".png"));
            return !picture.isNull() && check(picture);
        },
        timeoutMs, 200);
    return picture;
}

} // namespace kestra::e2e
