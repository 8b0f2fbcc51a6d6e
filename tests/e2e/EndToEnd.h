#pragma once

// The end-to-end fixture: kestra itself on a private X server, with
// kestra-serve or a server the test plays itself at the other end of its
// consoles, driven with xdotool as a user would and looked at through
// screenshots of the real display. Every process a test starts ends with it.

#include "platform/SocketListener.h"
#include "support/Program.h"

#include <QImage>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestra::e2e {

using namespace std::chrono_literals;
using testing::Eventually;
using testing::Program;

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A server the test plays itself: it takes one console on a Unix socket,
// keeps what the console sends and sends what it is told to.
class ScriptedServer {
public:
    explicit ScriptedServer(const std::string& socketPath)
        : listener_(platform::SocketListener::ListenLocal(socketPath).listener) {}
    ~ScriptedServer() {
        if (connection_ >= 0) {
            close(connection_);
        }
    }
    bool Listening() const { return listener_.IsOpen(); }
    // What arrived so far (taking the console's connection first).
    const std::string& Received() {
        pollfd waiting{listener_.Descriptor(), POLLIN, 0};
        if (connection_ < 0 && poll(&waiting, 1, 0) > 0) {
            connection_ = accept(listener_.Descriptor(), nullptr, nullptr);
        }
        char buffer[4096];
        for (ssize_t got = 0; connection_ >= 0 &&
                              (got = recv(connection_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
            received_.append(buffer, static_cast<std::size_t>(got));
        }
        return received_;
    }
    // Sends the bytes and then the query, and waits for the terminal's
    // answer: everything sent before it has been handled then. Forgets what
    // was received.
    bool SendAndSync(const std::string& bytes, const std::string& query,
                     const std::string& answer) {
        const std::string all = bytes + query;
        received_.clear();
        const bool synced =
            connection_ >= 0 &&
            send(connection_, all.data(), all.size(), MSG_NOSIGNAL) == ssize_t(all.size()) &&
            Eventually([&] { return Received().find(answer) != std::string::npos; }, 20s);
        received_.clear();
        return synced;
    }

private:
    platform::SocketListener listener_;
    int connection_ = -1;
    std::string received_;
};

// What the first rows of an 80-column console show in a screenshot: '#' for
// a cell with ink, '.' for an empty one. The console's client area is its
// background around a point inside it; the window shares it out by its own
// rule: two pixels of border at least, the cells, and what is left over split
// between the margins.
inline QRect ClientAround(const QImage& picture, QPoint inside) {
    if (!picture.valid(inside)) {
        return {};
    }
    const QRgb background = picture.pixel(inside);
    const auto reach = [&](QPoint from, QPoint step) {
        while (picture.valid(from + step) && picture.pixel(from + step) == background) {
            from += step;
        }
        return from;
    };
    // Up and down along the point's column, then sideways along the border
    // at the bottom, where neither text nor the cursor is drawn.
    const int top = reach(inside, {0, -1}).y();
    const QPoint bottom = reach(inside, {0, 1});
    return {QPoint(reach(bottom, {-1, 0}).x(), top), QPoint(reach(bottom, {1, 0}).x(), bottom.y())};
}

// The same in a client area already found (whose background is its top
// left pixel's).
inline std::vector<std::string> InkRowsIn(const QImage& picture, QRect client, int rows,
                                          int shown) {
    const int width = (client.width() - 4) / 80;
    const int height = (client.height() - 4) / rows;
    if (client.isEmpty() || width <= 0 || height <= 0) {
        return {};
    }
    const QRgb background = picture.pixel(client.topLeft());
    const QPoint origin =
        client.topLeft() + QPoint(client.width() - 80 * width, client.height() - rows * height) / 2;
    std::vector<std::string> ink(static_cast<std::size_t>(shown), std::string(80, '.'));
    for (int y = 0; y < shown * height; ++y) {
        for (int x = 0; x < 80 * width; ++x) {
            if (picture.pixel(origin + QPoint(x, y)) != background) {
                ink[y / height][x / width] = '#';
            }
        }
    }
    return ink;
}

inline std::vector<std::string> InkRows(const QImage& picture, QPoint inside, int rows, int shown) {
    return InkRowsIn(picture, ClientAround(picture, inside), rows, shown);
}

// The same expectation made from text: '#' for every character but a blank.
inline std::string InkOf(const std::string& text) {
    std::string ink(80, '.');
    for (std::size_t i = 0; i < text.size() && i < ink.size(); ++i) {
        ink[i] = text[i] == ' ' ? '.' : '#';
    }
    return ink;
}

class EndToEndTest : public ::testing::Test {
protected:
    // A private X server: it picks a free display itself and writes its
    // number on a pipe once it takes connections, so that servers other jobs
    // on the machine run are never in the way.
    void SetUp() override {
        if (testing::RunProgram({"sh", "-c",
                                 "command -v Xvfb && command -v xdotool && "
                                 "command -v import && command -v xset && command -v openbox"})
                .status != 0) {
            GTEST_SKIP() << "needs the X tools of scripts/setup-debian.sh";
        }
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
        const int writeEnd = fcntl(pipeEnds[1], F_DUPFD, 3); // inherited by Xvfb
        close(pipeEnds[1]);
        x_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(writeEnd),
                                            "-noreset", "-screen", "0", "1280x1024x24", "-nolisten",
                                            "tcp"});
        close(writeEnd);
        std::string number;
        pollfd readable{pipeEnds[0], POLLIN, 0};
        for (char got = 0;
             got != '\n' && poll(&readable, 1, 30000) > 0 && read(pipeEnds[0], &got, 1) == 1;) {
            number += got;
        }
        close(pipeEnds[0]);
        ASSERT_TRUE(number.ends_with('\n')) << "Xvfb did not start: " << x_->Err();
        display_ = ":" + number.substr(0, number.size() - 1);
        std::filesystem::create_directories(directory_ / "config/Marrow Data");
        std::filesystem::create_directory(directory_ / "runtime");
        std::filesystem::permissions(directory_ / "runtime", std::filesystem::perms::owner_all);
        // A frame of 1000 by 700 pixels whose active console fills it.
        WriteFile(directory_ / "config/Marrow Data/KESTRA.conf",
                  "[General]\nWindow=1 1 0 0 1000 700\n");
    }

    // The environment of the programs a test starts: its pipe directory, its
    // own settings, the terminal definitions of the source tree, and a runtime
    // directory that keeps Qt from warning on standard error.
    std::vector<std::string> Environment() const {
        return {"DISPLAY=" + display_,
                "QT_QPA_PLATFORM=xcb",
                "KESTRA_PIPES=" + directory_.Path(),
                "XDG_CONFIG_HOME=" + directory_ / "config",
                "XDG_RUNTIME_DIR=" + directory_ / "runtime",
                "CNF=" KESTRA_SOURCE_DIR "/data"};
    }
    // The first line xdotool writes; the words are split at blanks.
    std::string Xdotool(const std::string& words) const {
        std::vector<std::string> argv{"xdotool"};
        std::istringstream in(words);
        for (std::string word; in >> word;) {
            argv.push_back(word);
        }
        const std::string out = testing::RunProgram(argv, {"DISPLAY=" + display_}).out;
        return out.substr(0, out.find('\n'));
    }
    // A visible window whose name matches the pattern (no blanks).
    std::string FindWindow(const std::string& pattern) const {
        std::string window;
        Eventually(
            [&] { return !(window = Xdotool("search --onlyvisible --name " + pattern)).empty(); },
            20s);
        return window;
    }
    void Type(const std::string& keys) const { Xdotool("key --delay 80 " + keys); }
    // Gives the window the focus and types the keys until done() holds: keys
    // typed while a freshly mapped window takes the focus can be lost, so
    // they must be keys that may arrive twice.
    template <typename Done>
    bool KeyUntil(const std::string& window, const std::string& keys, Done done) const {
        for (int attempt = 0; attempt < 5; ++attempt) {
            Xdotool("windowfocus --sync " + window);
            Type(keys);
            if (Eventually(done, 5s)) {
                return true;
            }
        }
        return false;
    }
    // Starts kestra on the configuration and finds its frame by its title.
    void StartKestra(const std::string& configuration, const std::string& title) {
        kestra_.emplace(
            std::vector<std::string>{testing::BinaryPath("kestra"), "/C:" + configuration},
            Environment());
        frame_ = FindWindow("^" + title);
        ASSERT_FALSE(frame_.empty()) << "no frame; standard error: " << kestra_->Err();
    }
    bool Running() { return !kestra_->Wait(20ms); }
    // Screenshots of the frame until check() accepts one: the last repaint
    // may still be on its way.
    template <typename Check>
    bool ScreenshotUntil(Check check) {
        const std::string file = directory_ / "shot.png";
        return Eventually(
            [&] {
                std::filesystem::remove(file);
                testing::RunProgram({"import", "-display", display_, "-window", frame_, file});
                const QImage picture(QString::fromStdString(file));
                return !picture.isNull() && check(picture);
            },
            20s);
    }

    std::optional<Program> x_;
    std::string display_;
    testing::TemporaryDirectory directory_;
    std::optional<Program> kestra_;
    std::string frame_;
};

} // namespace kestra::e2e
