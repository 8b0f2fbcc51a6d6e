#include "shell/SplashScreen.h"

#include "ShellTestSupport.h"
#include "platform/Exit.h"
#include "shell/Icons.h"

#include <QImage>
#include <QTemporaryDir>
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

    platform::ScopedFatalCapture capture;
    FakeConfiguration configuration;
    FakeClock clock;
    QTemporaryDir directory;
};

TEST_F(SplashScreenTest, BuiltInPictureWithAndWithoutBorder) {
    for (const int border : {0, SplashScreen::kBorderWidth}) {
        configuration.quietMode = false; // a removed splash turns it on
        configuration.splashBorder = border != 0;
        SplashScreen splash = MakeSplash();
        splash.Show();
        ASSERT_NE(splash.Window(), nullptr);
        EXPECT_EQ(splash.Window()->size(), QSize(520 + 2 * border, 240 + 2 * border));
        const QImage shown = splash.Window()->grab().toImage();
        EXPECT_EQ(shown.pixel(border + 260, border + 120), BuiltInSplashImage().pixel(260, 120));
        splash.Remove();
    }
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

// The first attempt reports; the exit routine's second one shows the
// built-in picture instead.
TEST_F(SplashScreenTest, BadOrMissingPictureIsReportedOnceThenTheBuiltInOneIsUsed) {
    struct Row {
        std::string path;
        const char* error;
    };
    const std::string bad = directory.filePath("bad.bmp").toStdString();
    std::ofstream(bad) << "XX not a bitmap";
    for (const Row& row : {Row{bad, "Invalid BMP graphic file"},
                           Row{"/nonexistent/kestra/splash.bmp", "No such file or directory"}}) {
        configuration.splashGraphic = row.path;
        SplashScreen splash = MakeSplash();
        try {
            splash.Show();
            ADD_FAILURE() << "no report";
        } catch (const platform::FatalError& error) {
            EXPECT_EQ(error.message(), row.error + ("\n" + row.path));
        }
        EXPECT_EQ(splash.Window(), nullptr);
        splash.Show();
        ASSERT_NE(splash.Window(), nullptr);
        EXPECT_EQ(splash.Window()->Image().size(), QSize(520, 240));
    }
}

} // namespace
