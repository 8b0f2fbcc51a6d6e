#include "shell/SplashScreen.h"

#include "ShellTestSupport.h"
#include "platform/Exit.h"
#include "shell/Icons.h"

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

class SplashScreenTest : public ::testing::Test {
protected:
    SplashScreenTest() { App(); }

    SplashScreen MakeSplash() { return SplashScreen(configuration, clock.Clock(), {}); }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const auto path = std::filesystem::temp_directory_path() /
                          ("kestra-splash-" + std::to_string(::getpid()) + "-" + name);
        std::ofstream(path, std::ios::binary) << bytes;
        files.push_back(path);
        return path.string();
    }

    ~SplashScreenTest() override {
        for (const auto& path : files) {
            std::filesystem::remove(path);
        }
    }

    platform::ScopedFatalCapture capture;
    FakeConfiguration configuration;
    FakeClock clock;
    std::vector<std::filesystem::path> files;
};

TEST_F(SplashScreenTest, BuiltInPictureWithAndWithoutBorder) {
    struct Row {
        bool border;
        QSize size;
    };
    for (const Row row :
         {Row{false, QSize(520, 240)}, Row{true, QSize(520 + 2 * SplashScreen::kBorderWidth,
                                                       240 + 2 * SplashScreen::kBorderWidth)}}) {
        configuration.quietMode = false;
        configuration.splashBorder = row.border;
        SplashScreen splash = MakeSplash();
        splash.Show();
        ASSERT_NE(splash.Window(), nullptr);
        EXPECT_EQ(splash.Window()->size(), row.size);
        const QImage shown = splash.Window()->grab().toImage();
        const int inset = row.border ? SplashScreen::kBorderWidth : 0;
        EXPECT_EQ(shown.pixel(inset + 260, inset + 120), BuiltInSplashImage().pixel(260, 120));
        splash.Remove();
    }
}

TEST_F(SplashScreenTest, ShownAtMostOnceAndNeverInQuietMode) {
    configuration.quietMode = true;
    SplashScreen quiet = MakeSplash();
    quiet.Show();
    EXPECT_EQ(quiet.Window(), nullptr);

    configuration.quietMode = false;
    SplashScreen splash = MakeSplash();
    splash.Show();
    SplashWindow* first = splash.Window();
    splash.Show();
    EXPECT_EQ(splash.Window(), first) << "a second Show keeps the window up";
    splash.Remove();
    EXPECT_TRUE(configuration.quietMode);
    splash.Show();
    EXPECT_EQ(splash.Window(), nullptr) << "removed for good";
}

TEST_F(SplashScreenTest, RemovalWaitsOnlyForWhatIsLeftOfTwoSeconds) {
    struct Row {
        int upFor;
        std::vector<int> waits;
    };
    for (const Row& row : {Row{0, {2000}}, Row{1999, {1}}, Row{2000, {}}, Row{5000, {}}}) {
        configuration.quietMode = false;
        clock.waits.clear();
        SplashScreen splash = MakeSplash();
        splash.Show();
        clock.now += row.upFor;
        splash.Remove();
        EXPECT_EQ(clock.waits, row.waits) << "up for " << row.upFor;
    }
}

TEST_F(SplashScreenTest, ConfiguredPictureIsShown) {
    // A 2x1 24-bit bitmap: one red and one blue pixel.
    std::string file = "BM";
    auto put32 = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            file += static_cast<char>(value >> (8 * i) & 0xFF);
        }
    };
    auto put16 = [&](std::uint16_t value) {
        file += static_cast<char>(value & 0xFF);
        file += static_cast<char>(value >> 8);
    };
    put32(14 + 40 + 8);
    put32(0);
    put32(14 + 40);
    put32(40);
    put32(2);
    put32(1);
    put16(1);
    put16(24);
    for (int i = 0; i < 6; ++i) {
        put32(0);
    }
    file += std::string("\x00\x00\xFF\xFF\x00\x00\x00\x00", 8);
    configuration.splashGraphic = WriteFile("two.bmp", file);
    configuration.splashBorder = false;
    SplashScreen splash = MakeSplash();
    splash.Show();
    ASSERT_NE(splash.Window(), nullptr);
    EXPECT_EQ(splash.Window()->size(), QSize(2, 1));
    EXPECT_EQ(splash.Window()->Image().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(splash.Window()->Image().pixel(1, 0), qRgb(0, 0, 255));
}

TEST_F(SplashScreenTest, BadPictureIsReportedWithItsFileNameThenTheBuiltInOneIsUsed) {
    const std::string path = WriteFile("bad.bmp", "XX not a bitmap at all");
    configuration.splashGraphic = path;
    SplashScreen splash = MakeSplash();
    try {
        splash.Show();
        ADD_FAILURE() << "no report";
    } catch (const platform::FatalError& error) {
        EXPECT_EQ(error.message(), "Invalid BMP graphic file\n" + path);
    }
    EXPECT_EQ(splash.Window(), nullptr);
    // The exit routine shows the splash again: only the first attempt loads.
    splash.Show();
    ASSERT_NE(splash.Window(), nullptr);
    EXPECT_EQ(splash.Window()->Image().size(), QSize(520, 240));
}

// The exit routine shows the splash before its dialog; a bad picture then
// must not report again: the built-in one is shown instead.
TEST_F(SplashScreenTest, BadPictureIsSilentOnceExiting) {
    configuration.splashGraphic = WriteFile("bad.bmp", "BM but nothing else");
    SplashScreen splash = MakeSplash();
    int reports = 0;
    QSize shown;
    platform::SetFatalPresenter([&](std::string_view message) {
        ++reports;
        splash.Show();
        if (splash.Window() != nullptr) {
            shown = splash.Window()->Image().size();
        }
        throw platform::FatalError(message);
    });
    EXPECT_THROW(platform::Fatal("Pipe error"), platform::FatalError);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(shown, QSize(520, 240));
}

TEST_F(SplashScreenTest, MissingPictureGivesTheSystemText) {
    configuration.splashGraphic = "/nonexistent/kestra/splash.bmp";
    SplashScreen splash = MakeSplash();
    try {
        splash.Show();
        ADD_FAILURE() << "no report";
    } catch (const platform::FatalError& error) {
        EXPECT_EQ(error.message(),
                  std::string("No such file or directory\n") + "/nonexistent/kestra/splash.bmp");
    }
}

} // namespace
