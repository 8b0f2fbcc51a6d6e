#include "ConsoleWindowTestSupport.h"

#include <gtest/gtest.h>
#include <vector>

using namespace kestra::console;
using namespace kestra::console::testing;

TEST(ConsoleWindowList, ActivationOrderPutsTheFirstShownConsoleLast) {
    struct Case {
        std::vector<bool> minimised;
        bool maximized;
        std::vector<int> order;
        std::optional<int> focus;
        bool maximizedAfter;
    };
    const Case cases[] = {
        {{false, false, false}, false, {2, 1, 0}, 0, false},
        {{false, true, false}, true, {1, 2, 0}, 0, true},
        {{true, false, true, false}, false, {2, 0, 3, 1}, 1, false},
        {{true, true}, true, {1, 0}, std::nullopt, false}, // all minimised
        {{}, true, {}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        const ActivationPlan plan = PlanActivation(c.minimised, c.maximized);
        EXPECT_EQ(plan.order, c.order);
        EXPECT_EQ(plan.focus, c.focus);
        EXPECT_EQ(plan.consolesMaximized, c.maximizedAfter);
        EXPECT_EQ(plan.maximise, c.maximizedAfter);
    }
}

// Saved placements are used at creation and saved again; the consoles saved
// minimised are activated first, then the others from the last to the first.
TEST(ConsoleWindowList, SavedPlacementsDecidePlaceStateAndActivationOrder) {
    std::vector<std::unique_ptr<StandaloneConsole>> consoles; // outlive their windows
    WindowHarness h;
    std::map<std::string, std::string> values;
    int commits = 0;
    MemoryStore store{values, commits};
    std::vector<ConsoleWindowEntry> entries;
    const ConsolePlacement saved[] = {{false, Rect{10, 20, 310, 220}, 0, 0},
                                      {true, Rect{50, 60, 350, 260}, 5, 600}};
    for (const char* name : {"ONE", "TWO", "THREE"}) {
        consoles.push_back(std::make_unique<StandaloneConsole>(name, 24, false, false));
        entries.push_back({consoles.back().get(), 24, 80});
        if (consoles.size() <= 2) {
            store.Write(name, FormatConsolePlacement(saved[consoles.size() - 1]));
        }
    }
    std::vector<QString> activated;
    QObject::connect(&h.area, &QMdiArea::subWindowActivated, &h.area, [&](QMdiSubWindow* sub) {
        if (sub != nullptr) {
            activated.push_back(sub->windowTitle());
        }
    });
    bool maximized = false;
    h.list.CreateConsoleWindows(h.area, entries, &store, maximized);
    ProcessEvents();

    const auto& windows = h.list.Windows();
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0]->SubWindow()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(windows[1]->State(), kMinimised);
    EXPECT_EQ(consoles[2]->AttachedWindow(), windows[2]);
    ASSERT_GE(activated.size(), 3u);
    const std::vector<QString> lastThree(activated.end() - 3, activated.end());
    EXPECT_EQ(lastThree, (std::vector<QString>{"TWO", "THREE", "ONE"}));
    EXPECT_EQ(h.list.Active(), windows[0]);
    EXPECT_FALSE(maximized);

    windows[0]->SubWindow()->move(100, 110);
    ProcessEvents();
    values.clear();
    h.list.SaveConsolePlacements(store, false);
    const auto one = ParseConsolePlacement(values.at("ONE"));
    const auto two = ParseConsolePlacement(values.at("TWO"));
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->normal, (Rect{100, 110, 400, 310}));
    EXPECT_FALSE(one->minimized);
    EXPECT_TRUE(two->minimized);
    EXPECT_EQ(two->normal, (Rect{50, 60, 350, 260})); // kept while minimised
    const QPoint icon = windows[1]->SubWindow()->pos();
    EXPECT_EQ(two->iconX, icon.x());
    EXPECT_EQ(two->iconY, icon.y());
}
