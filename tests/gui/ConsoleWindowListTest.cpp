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

namespace {

struct ListHarness {
    std::vector<std::unique_ptr<StandaloneConsole>> consoles; // outlive their windows
    WindowHarness h;
    std::map<std::string, std::string> values;
    int commits = 0;
    MemoryStore store{values, commits};
    std::vector<ConsoleWindowEntry> entries;

    void AddConsole(const std::string& name, std::optional<ConsolePlacement> saved) {
        consoles.push_back(std::make_unique<StandaloneConsole>(name, 24, false, false));
        entries.push_back({consoles.back().get(), 24, 80});
        if (saved) {
            store.Write(name, FormatConsolePlacement(*saved));
        }
    }
};

ConsolePlacement Saved(bool minimised, int left, int top) {
    return ConsolePlacement{minimised, Rect{left, top, left + 300, top + 200}, 0, 0};
}

} // namespace

TEST(ConsoleWindowList, ConsolesSavedMinimisedAreActivatedFirst) {
    ListHarness l;
    l.AddConsole("ONE", Saved(false, 10, 20));
    l.AddConsole("TWO", Saved(true, 50, 60));
    l.AddConsole("THREE", std::nullopt);
    std::vector<QString> activated;
    QObject::connect(&l.h.area, &QMdiArea::subWindowActivated, &l.h.area, [&](QMdiSubWindow* sub) {
        if (sub != nullptr) {
            activated.push_back(sub->windowTitle());
        }
    });
    bool maximized = false;
    l.h.list.CreateConsoleWindows(l.h.area, l.entries, &l.store, maximized);
    ProcessEvents();

    const auto& windows = l.h.list.Windows();
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0]->SubWindow()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(windows[1]->State(), kMinimised);
    EXPECT_EQ(l.consoles[2]->AttachedWindow(), windows[2]);
    // The minimised one first, then the others from the last to the first.
    ASSERT_GE(activated.size(), 3u);
    const std::vector<QString> lastThree(activated.end() - 3, activated.end());
    EXPECT_EQ(lastThree, (std::vector<QString>{"TWO", "THREE", "ONE"}));
    EXPECT_EQ(l.h.list.Active(), windows[0]);
    EXPECT_FALSE(maximized);
}

TEST(ConsoleWindowList, PlacementsRoundTripThroughTheStore) {
    ListHarness l;
    l.AddConsole("ONE", Saved(false, 30, 40));
    ConsolePlacement minimised = Saved(true, 70, 80);
    minimised.iconX = 5;
    minimised.iconY = 600;
    l.AddConsole("TWO", minimised);
    bool maximized = false;
    l.h.list.CreateConsoleWindows(l.h.area, l.entries, &l.store, maximized);
    ProcessEvents();
    l.h.list.Windows()[0]->SubWindow()->move(100, 110);
    ProcessEvents();
    l.values.clear();
    l.h.list.SaveConsolePlacements(l.store, false);
    const auto one = ParseConsolePlacement(l.values.at("ONE"));
    const auto two = ParseConsolePlacement(l.values.at("TWO"));
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->normal, (Rect{100, 110, 400, 310}));
    EXPECT_FALSE(one->minimized);
    EXPECT_TRUE(two->minimized);
    EXPECT_EQ(two->normal, (Rect{70, 80, 370, 280})); // kept while minimised
    const QPoint icon = l.h.list.Windows()[1]->SubWindow()->pos();
    EXPECT_EQ(two->iconX, icon.x());
    EXPECT_EQ(two->iconY, icon.y());
}
