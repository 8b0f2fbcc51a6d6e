#include "shell/PropertiesDialog.h"

#include "GuiTestSupport.h"
#include "shell/MenuTable.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <fstream>

using namespace kestra;
using namespace kestra::shell;
using namespace kestra::shell::testing;

namespace {

constexpr int kEscape = -1; // a step that presses Escape instead of clicking

template <typename Widget>
Widget* Control(QWidget& dialog, int id) {
    auto* widget = dialog.findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

void Press(QDialog& dialog, const std::vector<int>& steps) {
    for (const int step : steps) {
        if (step == kEscape) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&dialog, &escape);
        } else {
            Control<QAbstractButton>(dialog, step)->click();
        }
    }
}

// A dialog on its own, recording what it applies and saves.
struct DialogHarness {
    explicit DialogHarness(const console::Properties& current = {}, bool paletteDisplay = true)
        : paletteDevice(paletteDisplay) {
        App();
        PropertiesDialog::Actions actions;
        actions.paletteDevice = [this] { return paletteDevice; };
        actions.apply = [this](const console::Properties& p) { applied.push_back(p); };
        actions.saveNow = [this] { ++saves; };
        actions.chooseFont = [this](QWidget*, const QFont& initial) -> std::optional<QFont> {
            chooserStart = initial;
            return chosen;
        };
        dialog = std::make_unique<PropertiesDialog>(current, std::move(actions), nullptr);
        dialog->show();
    }
    std::string Applied() const {
        return applied.empty() ? "" : console::FormatProperties(applied.back());
    }

    bool paletteDevice = true;
    std::vector<console::Properties> applied;
    int saves = 0;
    std::optional<QFont> chosen;
    std::optional<QFont> chooserStart;
    std::unique_ptr<PropertiesDialog> dialog;
};

} // namespace

// Every control shows its setting, each control changes its own setting and
// nothing else, and the blink choice is offered only on a palette-based
// display, asked again at every Apply.
TEST(PropertiesDialog, ControlsShowAndChangeTheirOwnSettings) {
    console::Properties flipped;
    for (const FlagControl& control : kFlagControls) {
        flipped.*control.flag = !(flipped.*control.flag);
    }
    // Never is chosen while the display offers it, or stays while it does not.
    for (const bool palette : {true, false}) {
        flipped.blinkMode = palette ? console::kBlinkAlways : console::kBlinkNever;
        DialogHarness h(flipped, palette);
        for (const BlinkChoice& choice : kBlinkChoices) {
            EXPECT_EQ(Control<QRadioButton>(*h.dialog, choice.id)->isChecked(),
                      choice.mode == flipped.blinkMode);
        }
        for (const FlagControl& control : kFlagControls) {
            EXPECT_EQ(Control<QCheckBox>(*h.dialog, control.id)->isChecked(),
                      flipped.*control.flag);
        }
        EXPECT_EQ(Control<QGroupBox>(*h.dialog, kBlinkGroup)->isEnabled(), palette);
        h.paletteDevice = !palette;
        Press(*h.dialog, {palette ? kBlinkChoices[0].id : 1131, kPropertiesApply});
        EXPECT_EQ(Control<QGroupBox>(*h.dialog, kBlinkGroup)->isEnabled(), !palette);
        ASSERT_EQ(h.applied.size(), 1u);
        EXPECT_EQ(h.applied[0].blinkMode, console::kBlinkNever);
    }
    for (const FlagControl& control : kFlagControls) {
        DialogHarness h;
        Press(*h.dialog, {control.id, kPropertiesOk});
        console::Properties expected;
        expected.*control.flag = !(expected.*control.flag);
        EXPECT_EQ(h.Applied(), console::FormatProperties(expected)) << control.id;
    }
}

// Apply and Save Now apply and keep the dialog open, OK applies and closes,
// Cancel and Escape close without applying; what Apply did stays. After
// applying, Enter means OK whichever button was pressed.
TEST(PropertiesDialog, ButtonsApplySaveAndCloseByTheirRules) {
    enum Outcome { kOpen, kAccepted, kRejected };
    struct Row {
        std::vector<int> steps;
        int applies;
        int saves;
        const char* lastApplied; // the stored "Properties" text, "" when none
        bool applyEnabled;
        bool saveNowEnabled;
        Outcome outcome;
    };
    // clang-format off
    const Row rows[] = {
        {{},                              0, 0, "",                  false, true,  kOpen},
        {{1131},                          0, 0, "",                  true,  true,  kOpen},
        {{1113},                          0, 0, "",                  true,  true,  kOpen},
        {{1131, kPropertiesApply},        1, 0, "1 0 1 1 1 0 0 1 0", false, true,  kOpen},
        {{1131, kSaveNow},                1, 1, "1 0 1 1 1 0 0 1 0", false, false, kOpen},
        {{kSaveNow, 1132},                1, 1, "1 1 1 1 1 0 0 1 0", true,  true,  kOpen},
        {{1113, kPropertiesOk},           1, 0, "2 1 1 1 1 0 0 1 0", true,  true,  kAccepted},
        {{1131, kPropertiesCancel},       0, 0, "",                  true,  true,  kRejected},
        {{1131, kEscape},                 0, 0, "",                  true,  true,  kRejected},
        {{1131, kPropertiesApply, 1161, kPropertiesCancel},
                                          1, 0, "1 0 1 1 1 0 0 1 0", true,  true,  kRejected},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.steps));
        DialogHarness h;
        Press(*h.dialog, row.steps);
        EXPECT_EQ(static_cast<int>(h.applied.size()), row.applies);
        EXPECT_EQ(h.saves, row.saves);
        EXPECT_EQ(h.Applied(), row.lastApplied);
        EXPECT_EQ(Control<QPushButton>(*h.dialog, kPropertiesApply)->isEnabled(), row.applyEnabled);
        EXPECT_EQ(Control<QPushButton>(*h.dialog, kSaveNow)->isEnabled(), row.saveNowEnabled);
        EXPECT_EQ(h.dialog->isVisible()                     ? kOpen
                  : h.dialog->result() == QDialog::Accepted ? kAccepted
                                                            : kRejected,
                  row.outcome);
        for (const int id : {kFontButton, kPropertiesApply, kSaveNow, kPropertiesCancel}) {
            EXPECT_FALSE(Control<QPushButton>(*h.dialog, id)->isDefault());
        }
        EXPECT_TRUE(Control<QPushButton>(*h.dialog, kPropertiesOk)->isDefault());
    }
}

// Font... starts the chooser from the face and styles shown and takes back
// the chosen face (cut to 31 bytes), bold and italic; a cancelled chooser
// changes nothing; choosing is not applying.
TEST(PropertiesDialog, FontButtonTakesTheChosenFaceAndStyle) {
    auto font = [](const std::string& family, bool bold, bool italic) {
        QFont chosen(QString::fromStdString(family));
        chosen.setBold(bold);
        chosen.setItalic(italic);
        return chosen;
    };
    struct Row {
        bool bold;
        bool italic;
        std::optional<QFont> chosen;
        std::string face; // shown afterwards
        bool boldAfter;
        bool italicAfter;
    };
    const Row rows[] = {
        {false, false, font("DejaVu Sans Mono", true, false), "DejaVu Sans Mono", true, false},
        {true, true, font("Courier", false, false), "Courier", false, false},
        {true, false, std::nullopt, "Lucida Console", true, false},
        {false, true, font(std::string(40, 'M'), false, true), std::string(31, 'M'), false, true},
    };
    for (const Row& row : rows) {
        console::Properties current;
        current.boldFont = row.bold;
        current.italicFont = row.italic;
        DialogHarness h(current);
        h.chosen = row.chosen;
        Press(*h.dialog, {kFontButton});
        ASSERT_TRUE(h.chooserStart.has_value());
        EXPECT_EQ(*h.chooserStart, ChooserStartFont("Lucida Console", row.bold, row.italic));
        EXPECT_EQ(h.chooserStart->pixelSize(), 20);
        EXPECT_EQ(Control<QLabel>(*h.dialog, kFontFaceText)->text().toStdString(), row.face);
        EXPECT_EQ(Control<QCheckBox>(*h.dialog, 1162)->isChecked(), row.boldAfter);
        EXPECT_EQ(Control<QCheckBox>(*h.dialog, 1163)->isChecked(), row.italicAfter);
        EXPECT_EQ(Control<QPushButton>(*h.dialog, kPropertiesApply)->isEnabled(),
                  row.chosen.has_value());
        EXPECT_TRUE(h.applied.empty());
    }
}

// Through the frame's menu the dialog comes up modal over the frame and works
// on the Properties in use; Apply reaches the consoles, Save Now writes the
// store, and a store that cannot be written changes nothing else.
TEST(PropertiesDialog, TheMenuCommandRunsItOverTheFrame) {
    struct Row {
        std::vector<int> steps;
        bool unwritableStore, saved;
        int fontRebuilds;
    };
    const Row rows[] = {{{1131, kPropertiesApply, 1161, kPropertiesCancel}, false, false, 1},
                        {{1131, kSaveNow, kPropertiesCancel}, false, true, 1},
                        {{1131, kSaveNow, kPropertiesOk}, true, false, 2}};
    platform::ScopedFatalCapture capture;
    for (const Row& row : rows) {
        TestConfiguration configuration;
        configuration.SetQuietMode(true);
        TestWorld world;
        if (row.unwritableStore) {
            std::ofstream(world.home / "file") << "";
            world.settingsFile = world.home / "file/KESTRA.conf";
        }
        Shell shell((App(), configuration), world.Environment());
        int rebuilds = 0;
        shell.ConsoleSlots().propertiesApplied = [&rebuilds] { ++rebuilds; };
        shell.Frame().show();
        DialogAnswerer answerer([&](QDialog& dialog) {
            EXPECT_EQ(dialog.objectName(), QStringLiteral("1100"));
            EXPECT_TRUE(dialog.isModal() && dialog.parentWidget() == &shell.Frame());
            Press(dialog, row.steps);
        });
        shell.Frame().HandleCommand(kCommandProperties);
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(console::FormatProperties(shell.Properties()), "1 0 1 1 1 0 0 1 0");
        EXPECT_EQ(shell.Blink().BlinkMode(), shell.Properties().blinkMode);
        EXPECT_EQ(world.Settings()->Read("Properties"),
                  row.saved ? std::optional<std::string>("1 0 1 1 1 0 0 1 0") : std::nullopt);
        EXPECT_EQ(rebuilds, row.fontRebuilds);
    }
}
