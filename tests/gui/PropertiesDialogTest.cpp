#include "GuiTestSupport.h"

namespace kestra::shell::testing {

// Every control shows its setting. Apply and Save Now apply and keep the
// dialog open, OK applies and closes, Cancel and Escape close without
// applying; what Apply did stays; Enter means OK whichever button was
// pressed. The blink choice is offered only on a palette-based display,
// asked again at every Apply.
TEST(PropertiesDialog, ControlsShowTheSettingsAndButtonsApplySaveAndCloseByTheirRules) {
    enum Outcome { kOpen, kAccepted, kRejected, kEscape = -1 };
    const struct {
        std::vector<int> steps; // kEscape presses Escape
        int applies, saves;
        std::string lastApplied;
        bool applyEnabled, saveNowEnabled;
        Outcome outcome;
        bool palette = true;
    } rows[] = {
        // clang-format off
        {{},                        0, 0, "",                  false, true,  kOpen},
        {{1131},                    0, 0, "",                  true,  true,  kOpen},
        {{1113},                    0, 0, "",                  true,  true,  kOpen},
        {{1131, kPropertiesApply},  1, 0, "1 0 1 1 1 0 0 1 0", false, true,  kOpen},
        {{1131, kSaveNow},          1, 1, "1 0 1 1 1 0 0 1 0", false, false, kOpen},
        {{kSaveNow, 1132},          1, 1, "1 1 1 1 1 0 0 1 0", true,  true,  kOpen},
        {{1113, kPropertiesOk},     1, 0, "2 1 1 1 1 0 0 1 0", true,  true,  kAccepted},
        {{1111, 1161, kPropertiesOk}, 1, 0, "0 1 1 1 1 0 1 1 0", true, true,  kAccepted},
        {{1111, 1163, kPropertiesOk}, 1, 0, "1 1 1 1 1 0 0 1 1", true, true,  kAccepted, false},
        {{1131, kPropertiesCancel}, 0, 0, "",                  true,  true,  kRejected},
        {{1131, kEscape},           0, 0, "",                  true,  true,  kRejected},
        {{1131, kPropertiesApply, 1161, kPropertiesCancel}, 1, 0, "1 0 1 1 1 0 0 1 0", true, true, kRejected},
        // clang-format on
    };
    console::Properties flipped;
    for (const FlagControl& control : kFlagControls) {
        flipped.*control.flag = !(flipped.*control.flag);
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        std::vector<console::Properties> applied;
        int saves = 0;
        bool palette = row.palette;
        PropertiesDialog::Actions actions{
            [&] { return palette; }, [&](const console::Properties& p) { applied.push_back(p); },
            [&] { ++saves; }};
        PropertiesDialog dialog((App(), row.steps.empty() ? flipped : console::Properties{}),
                                actions, nullptr);
        dialog.show();
        const auto control = [&](int id) {
            return dialog.findChild<QAbstractButton*>(QString::number(id));
        };
        for (const FlagControl& flag : kFlagControls) {
            EXPECT_EQ(control(flag.id)->isChecked(), row.steps.empty() == (flipped.*flag.flag));
        }
        EXPECT_TRUE(control(1112)->isChecked());
        EXPECT_EQ(dialog.findChild<QGroupBox*>(QString::number(kBlinkGroup))->isEnabled(), palette);
        palette = !palette;
        for (const int step : row.steps) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            step == kEscape ? (void)QCoreApplication::sendEvent(&dialog, &escape)
                            : control(step)->click();
        }
        EXPECT_EQ(static_cast<int>(applied.size()), row.applies);
        EXPECT_EQ(saves, row.saves);
        EXPECT_EQ(applied.empty() ? "" : console::FormatProperties(applied.back()),
                  row.lastApplied);
        EXPECT_EQ(control(kPropertiesApply)->isEnabled(), row.applyEnabled);
        EXPECT_EQ(control(kSaveNow)->isEnabled(), row.saveNowEnabled);
        EXPECT_EQ(dialog.isVisible() ? kOpen
                  : dialog.result()  ? kAccepted
                                     : kRejected,
                  row.outcome);
        for (const int id :
             {kFontButton, kPropertiesApply, kSaveNow, kPropertiesCancel, kPropertiesOk}) {
            EXPECT_EQ(static_cast<QPushButton*>(control(id))->isDefault(), id == kPropertiesOk);
        }
        if (row.applies > 0) {
            EXPECT_EQ(dialog.findChild<QGroupBox*>(QString::number(kBlinkGroup))->isEnabled(),
                      palette);
        }
    }
}

// The font chooser offers fixed-pitch families, their styles and sizes; no
// effects, no writing systems.
TEST(PropertiesDialog, TheFontChooserOffersOnlyWhatHasAnEffect) {
    int offered = (App(), -1); // the answerer's timer needs the application
    DialogAnswerer answerer([&](QDialog& chooser) {
        const auto shown = [&](const QWidget* control) { return control->isVisibleTo(&chooser); };
        offered = int(std::ranges::count_if(chooser.findChildren<QCheckBox*>(), shown) +
                      std::ranges::count_if(chooser.findChildren<QComboBox*>(), shown));
        chooser.reject();
    });
    EXPECT_FALSE(FixedPitchFontChooser()(nullptr, ChooserStartFont("Noto Mono", false, false)));
    EXPECT_EQ(offered, 0);
}

} // namespace kestra::shell::testing
