#include "shell/PropertiesDialog.h"

#include "ShellTestSupport.h"
#include "platform/Exit.h"
#include "platform/qt/IniSettingsStore.h"
#include "shell/FrameWindow.h"
#include "shell/MenuTable.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

std::string Described(const console::Properties& properties) {
    return console::FormatProperties(properties) + " " + properties.fontFace;
}

// A dialog on its own, recording what it applies and saves.
struct DialogHarness {
    explicit DialogHarness(const console::Properties& current = {}, bool paletteDisplay = true)
        : paletteDevice(paletteDisplay) {
        App();
        PropertiesDialog::Actions actions;
        actions.paletteDevice = [this] { return paletteDevice; };
        actions.apply = [this](const console::Properties& properties) {
            applied.push_back(properties);
        };
        actions.saveNow = [this] { ++saves; };
        actions.chooseFont = [this](QWidget*, const QFont& initial) -> std::optional<QFont> {
            chooserStart = initial;
            return chosen;
        };
        dialog = std::make_unique<PropertiesDialog>(current, std::move(actions), nullptr);
        dialog->show();
    }

    bool paletteDevice = true;
    std::vector<console::Properties> applied;
    int saves = 0;
    std::optional<QFont> chosen;
    std::optional<QFont> chooserStart;
    std::unique_ptr<PropertiesDialog> dialog;
};

// Every flag the other way round, with the blink mode and face given.
console::Properties Flipped(console::Properties properties, int blinkMode, std::string face) {
    for (const FlagControl& control : kFlagControls) {
        properties.*control.flag = !(properties.*control.flag);
    }
    properties.blinkMode = blinkMode;
    properties.fontFace = std::move(face);
    return properties;
}

} // namespace

// Every control shows its setting, and changing every control changes every
// setting and nothing else.
TEST(PropertiesDialog, ControlsLoadAndWriteBackEverySetting) {
    for (const console::Properties& current :
         {console::Properties{}, Flipped({}, console::kBlinkNever, "DejaVu Sans Mono"),
          Flipped({}, console::kBlinkAlways, "Courier 10 Pitch")}) {
        DialogHarness h(current);
        for (const BlinkChoice& choice : kBlinkChoices) {
            EXPECT_EQ(Control<QRadioButton>(*h.dialog, choice.id)->isChecked(),
                      choice.mode == current.blinkMode)
                << choice.id;
        }
        for (const FlagControl& control : kFlagControls) {
            EXPECT_EQ(Control<QCheckBox>(*h.dialog, control.id)->isChecked(), current.*control.flag)
                << control.id;
        }
        EXPECT_EQ(Control<QLabel>(*h.dialog, kFontFaceText)->text().toStdString(),
                  current.fontFace);

        std::vector<int> steps;
        for (const FlagControl& control : kFlagControls) {
            steps.push_back(control.id);
        }
        const BlinkChoice& next = kBlinkChoices[(current.blinkMode + 1) % kBlinkChoices.size()];
        steps.push_back(next.id);
        steps.push_back(kPropertiesOk);
        Press(*h.dialog, steps);
        ASSERT_EQ(h.applied.size(), 1u);
        EXPECT_EQ(Described(h.applied[0]),
                  Described(Flipped(current, next.mode, current.fontFace)));
    }
    // One check box changes its own setting only.
    for (const FlagControl& control : kFlagControls) {
        DialogHarness h;
        Press(*h.dialog, {control.id, kPropertiesOk});
        console::Properties expected;
        expected.*control.flag = !(expected.*control.flag);
        ASSERT_EQ(h.applied.size(), 1u) << control.id;
        EXPECT_EQ(Described(h.applied[0]), Described(expected)) << control.id;
    }
}

// The buttons: Apply and Save Now apply and keep the dialog open, OK applies
// and closes, Cancel and Escape close without applying; what Apply did stays.
TEST(PropertiesDialog, ButtonsApplySaveAndCloseByTheirRules) {
    enum Outcome { kOpen, kAccepted, kRejected };
    struct Row {
        const char* name;
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
        // name                  steps                                        applies saves lastApplied            apply  saveNow outcome
        {"opened",               {},                                          0, 0, "",                    false, true,  kOpen},
        {"a check box",          {1131},                                      0, 0, "",                    true,  true,  kOpen},
        {"a blink button",       {1113},                                      0, 0, "",                    true,  true,  kOpen},
        {"Apply",                {1131, kPropertiesApply},                    1, 0, "1 0 1 1 1 0 0 1 0",   false, true,  kOpen},
        {"Save Now",             {1131, kSaveNow},                            1, 1, "1 0 1 1 1 0 0 1 0",   false, false, kOpen},
        {"a change after saving",{kSaveNow, 1132},                            1, 1, "1 1 1 1 1 0 0 1 0",   true,  true,  kOpen},
        {"OK",                   {1113, kPropertiesOk},                       1, 0, "2 1 1 1 1 0 0 1 0",   true,  true,  kAccepted},
        {"Cancel",               {1131, kPropertiesCancel},                   0, 0, "",                    true,  true,  kRejected},
        {"Escape",               {1131, kEscape},                             0, 0, "",                    true,  true,  kRejected},
        {"Apply, then Cancel",   {1131, kPropertiesApply, 1161, kPropertiesCancel},
                                                                              1, 0, "1 0 1 1 1 0 0 1 0",   true,  true,  kRejected},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DialogHarness h;
        Press(*h.dialog, row.steps);
        EXPECT_EQ(static_cast<int>(h.applied.size()), row.applies);
        EXPECT_EQ(h.saves, row.saves);
        if (!h.applied.empty()) {
            EXPECT_EQ(console::FormatProperties(h.applied.back()), row.lastApplied);
        }
        EXPECT_EQ(Control<QPushButton>(*h.dialog, kPropertiesApply)->isEnabled(), row.applyEnabled);
        EXPECT_EQ(Control<QPushButton>(*h.dialog, kSaveNow)->isEnabled(), row.saveNowEnabled);
        const Outcome outcome = h.dialog->isVisible()                     ? kOpen
                                : h.dialog->result() == QDialog::Accepted ? kAccepted
                                                                          : kRejected;
        EXPECT_EQ(outcome, row.outcome);
        if (row.applies > 0) {
            // After applying, Enter means OK whichever button was pressed.
            for (const int id : {kFontButton, kPropertiesApply, kSaveNow, kPropertiesCancel}) {
                EXPECT_FALSE(Control<QPushButton>(*h.dialog, id)->isDefault());
            }
            EXPECT_TRUE(Control<QPushButton>(*h.dialog, kPropertiesOk)->isDefault());
        }
    }
}

// The blink choice is offered only on a palette-based display, asked again
// at every Apply.
TEST(PropertiesDialog, BlinkChoiceNeedsAPaletteDisplay) {
    for (const bool paletteDevice : {false, true}) {
        DialogHarness h({}, paletteDevice);
        EXPECT_EQ(Control<QGroupBox>(*h.dialog, kBlinkGroup)->isEnabled(), paletteDevice);
        for (const BlinkChoice& choice : kBlinkChoices) {
            EXPECT_EQ(Control<QRadioButton>(*h.dialog, choice.id)->isEnabled(), paletteDevice);
        }
        h.paletteDevice = !paletteDevice;
        Press(*h.dialog, {1131, kPropertiesApply});
        EXPECT_EQ(Control<QGroupBox>(*h.dialog, kBlinkGroup)->isEnabled(), !paletteDevice);
    }
}

// Font... starts the chooser from the face and styles shown and takes back
// the chosen face, bold and italic; a cancelled chooser changes nothing.
TEST(PropertiesDialog, FontButtonTakesTheChosenFaceAndStyle) {
    auto font = [](const char* family, bool bold, bool italic) {
        QFont chosen(QString::fromLatin1(family));
        chosen.setBold(bold);
        chosen.setItalic(italic);
        return chosen;
    };
    const std::string longFace(40, 'M');
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
        {false, false, font(longFace.c_str(), false, false), std::string(31, 'M'), false, false},
    };
    for (const Row& row : rows) {
        console::Properties current;
        current.boldFont = row.bold;
        current.italicFont = row.italic;
        DialogHarness h(current);
        h.chosen = row.chosen;
        Press(*h.dialog, {kFontButton});
        ASSERT_TRUE(h.chooserStart.has_value());
        EXPECT_EQ(h.chooserStart->family(), QStringLiteral("Lucida Console"));
        EXPECT_EQ(h.chooserStart->bold(), row.bold);
        EXPECT_EQ(h.chooserStart->italic(), row.italic);
        EXPECT_EQ(h.chooserStart->pixelSize(), 20);

        EXPECT_EQ(Control<QLabel>(*h.dialog, kFontFaceText)->text().toStdString(), row.face);
        EXPECT_EQ(Control<QCheckBox>(*h.dialog, 1162)->isChecked(), row.boldAfter);
        EXPECT_EQ(Control<QCheckBox>(*h.dialog, 1163)->isChecked(), row.italicAfter);
        EXPECT_EQ(Control<QPushButton>(*h.dialog, kPropertiesApply)->isEnabled(),
                  row.chosen.has_value());
        EXPECT_TRUE(h.applied.empty()) << "choosing is not applying";
    }
}

// The system chooser lists fixed-pitch families only and gives back what the
// user picked.
TEST(PropertiesDialog, FontChooserOffersFixedPitchFamiliesOnly) {
    App();
    QStringList families;
    DialogAnswerer answerer([&](QDialog& dialog) {
        auto* chooser = qobject_cast<QFontDialog*>(&dialog);
        ASSERT_NE(chooser, nullptr);
        for (const QListView* list : chooser->findChildren<QListView*>()) {
            QStringList shown;
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                shown << list->model()->index(row, 0).data().toString();
            }
            if (shown.contains(QStringLiteral("DejaVu Sans Mono"))) {
                families = shown;
            }
        }
        chooser->setCurrentFont(ChooserStartFont("DejaVu Sans Mono", true, false));
        chooser->accept();
    });
    const std::optional<QFont> chosen =
        FixedPitchFontChooser()(nullptr, ChooserStartFont("Courier", false, false));
    EXPECT_EQ(answerer.Count(), 1);
    ASSERT_FALSE(families.isEmpty()) << "the family list was not found";
    EXPECT_FALSE(families.contains(QStringLiteral("DejaVu Sans")));
    for (const QString& family : families) {
        EXPECT_TRUE(QFontDatabase::isFixedPitch(family)) << family.toStdString();
    }
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_TRUE(chosen->bold());
}

// Through the frame's menu: the dialog comes up modal over the frame and
// works on the Properties in use; Apply reaches the consoles (fonts, beeps,
// blinking), Save Now writes the store, and a store that cannot be written
// changes nothing else.
TEST(PropertiesDialog, TheMenuCommandRunsItOverTheFrame) {
    struct Row {
        const char* name;
        std::vector<int> steps;
        bool unwritableStore;
        const char* inUse; // the Properties afterwards
        int commits;
        int fontRebuilds;
    };
    // clang-format off
    const Row rows[] = {
        // name                 steps                                                    unwritable inUse                commits rebuilds
        {"Apply, then Cancel",  {1131, kPropertiesApply, 1161, kPropertiesCancel},       false, "1 0 1 1 1 0 0 1 0", 0, 1},
        {"Save Now",            {1131, kSaveNow, kPropertiesCancel},                     false, "1 0 1 1 1 0 0 1 0", 1, 1},
        {"an unwritable store", {1131, kSaveNow, kPropertiesOk},                         true,  "1 0 1 1 1 0 0 1 0", 0, 2},
    };
    // clang-format on
    platform::ScopedFatalCapture capture;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeConfiguration configuration;
        configuration.quietMode = true;
        TestWorld world;
        QTemporaryDir dir;
        ShellEnvironment environment = world.Environment();
        if (row.unwritableStore) {
            QFile blocker(dir.filePath("file"));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
            environment.openSettings = [&dir](const std::string&) {
                return std::unique_ptr<platform::SettingsStore>(
                    platform::IniSettingsStore::AtPath(dir.filePath("file/KESTRA.conf")));
            };
        }
        Shell shell((App(), configuration), std::move(environment));
        int rebuilds = 0;
        shell.ConsoleSlots().propertiesApplied = [&rebuilds] { ++rebuilds; };
        shell.Frame().show();
        bool modalOverTheFrame = false;
        DialogAnswerer answerer([&](QDialog& dialog) {
            modalOverTheFrame = dialog.objectName() == QStringLiteral("1100") && dialog.isModal() &&
                                dialog.parentWidget() == &shell.Frame();
            Press(dialog, row.steps);
        });
        shell.Frame().HandleCommand(kCommandProperties);
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_TRUE(modalOverTheFrame);
        EXPECT_EQ(console::FormatProperties(shell.Properties()), row.inUse);
        EXPECT_EQ(shell.Blink().BlinkMode(), shell.Properties().blinkMode);
        EXPECT_EQ(world.commits, row.commits);
        if (row.commits > 0) {
            EXPECT_EQ(world.settings["Properties"], row.inUse);
        }
        EXPECT_EQ(rebuilds, row.fontRebuilds);
    }
}
