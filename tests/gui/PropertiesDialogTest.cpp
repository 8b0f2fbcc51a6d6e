#include "GuiTestSupport.h"

namespace kestra::shell::testing {
namespace {

constexpr int kEscape = -1; // a step that presses Escape instead of clicking

template <typename Widget = QPushButton>
Widget& Control(QWidget& dialog, int id) {
    return *dialog.findChild<Widget*>(QString::number(id));
}

void Press(QDialog& dialog, const std::vector<int>& steps) {
    for (const int step : steps) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        step == kEscape ? (void)QCoreApplication::sendEvent(&dialog, &escape)
                        : Control<QAbstractButton>(dialog, step).click();
    }
}

// A dialog on its own, recording what it applies and saves.
struct DialogHarness {
    explicit DialogHarness(const console::Properties& current = {}, bool paletteDisplay = true)
        : paletteDevice(paletteDisplay) {
        PropertiesDialog::Actions actions;
        actions.paletteDevice = [this] { return paletteDevice; };
        actions.apply = [this](const console::Properties& p) { applied.push_back(p); };
        actions.saveNow = [this] { ++saves; };
        actions.chooseFont = [this](QWidget*, const QFont& initial) {
            return chooserStart = initial, chosen;
        };
        dialog =
            ((App(), std::make_unique<PropertiesDialog>(current, std::move(actions), nullptr)));
        dialog->show();
    }
    std::string Applied() const {
        return applied.empty()
                   ? ""
                   : console::FormatProperties(applied.back()) + " " + applied.back().fontFace;
    }

    bool paletteDevice;
    std::vector<console::Properties> applied;
    int saves = 0;
    std::optional<QFont> chosen, chooserStart;
    std::unique_ptr<PropertiesDialog> dialog;
};

} // namespace

// Every control shows its setting and changes it alone; the blink choice is
// offered only on a palette-based display, asked again at every Apply; Font...
// starts the chooser from the face and styles shown and takes back the face
// (cut to 31 bytes), bold and italic chosen.
TEST(PropertiesDialog, ControlsShowAndChangeTheirOwnSettings) {
    console::Properties flipped;
    for (const FlagControl& control : kFlagControls) {
        flipped.*control.flag = !(flipped.*control.flag);
    }
    for (const bool palette : {true, false}) {
        flipped.blinkMode = palette ? console::kBlinkAlways : console::kBlinkNever;
        DialogHarness h(flipped, palette);
        for (const BlinkChoice& choice : kBlinkChoices) {
            EXPECT_EQ(Control<QRadioButton>(*h.dialog, choice.id).isChecked(),
                      choice.mode == flipped.blinkMode);
        }
        for (const FlagControl& control : kFlagControls) {
            EXPECT_EQ(Control<QCheckBox>(*h.dialog, control.id).isChecked(), flipped.*control.flag);
        }
        EXPECT_EQ(Control<QGroupBox>(*h.dialog, kBlinkGroup).isEnabled(), palette);
        h.paletteDevice = !palette;
        Press(*h.dialog, {palette ? kBlinkChoices[0].id : 1131, kPropertiesApply});
        EXPECT_EQ(Control<QGroupBox>(*h.dialog, kBlinkGroup).isEnabled(), !palette);
        EXPECT_EQ(h.applied.at(0).blinkMode, console::kBlinkNever);
    }
    for (const FlagControl& control : kFlagControls) {
        DialogHarness h;
        Press(*h.dialog, {control.id, kPropertiesOk});
        console::Properties expected;
        expected.*control.flag = !(expected.*control.flag);
        EXPECT_EQ(h.Applied(), console::FormatProperties(expected) + " Lucida Console");
    }
    for (const bool cancelled : {false, true}) {
        DialogHarness h;
        h.chosen = QFont(QString(40, 'M'));
        h.chosen->setItalic(true);
        cancelled ? h.chosen.reset() : void();
        Press(*h.dialog, {1162, kFontButton});
        EXPECT_EQ(*h.chooserStart, ChooserStartFont("Lucida Console", true, false));
        EXPECT_EQ(h.chooserStart->pixelSize(), 20);
        EXPECT_TRUE(h.applied.empty()) << "choosing is not applying";
        Press(*h.dialog, {kPropertiesOk});
        EXPECT_EQ(h.Applied(), cancelled ? "1 1 1 1 1 1 0 1 0 Lucida Console"
                                         : "1 1 1 1 1 0 0 1 1 " + std::string(31, 'M'));
    }
}

// Apply and Save Now apply and keep the dialog open, OK applies and closes,
// Cancel and Escape close without applying; what Apply did stays. Enter
// means OK whichever button was pressed.
TEST(PropertiesDialog, ButtonsApplySaveAndCloseByTheirRules) {
    enum Outcome { kOpen, kAccepted, kRejected };
    const struct {
        std::vector<int> steps;
        int applies, saves;
        std::string lastApplied;
        bool applyEnabled, saveNowEnabled;
        Outcome outcome;
    } rows[] = {
        // clang-format off
        {{},                        0, 0, "",                  false, true,  kOpen},
        {{1131},                    0, 0, "",                  true,  true,  kOpen},
        {{1113},                    0, 0, "",                  true,  true,  kOpen},
        {{1131, kPropertiesApply},  1, 0, "1 0 1 1 1 0 0 1 0", false, true,  kOpen},
        {{1131, kSaveNow},          1, 1, "1 0 1 1 1 0 0 1 0", false, false, kOpen},
        {{kSaveNow, 1132},          1, 1, "1 1 1 1 1 0 0 1 0", true,  true,  kOpen},
        {{1113, kPropertiesOk},     1, 0, "2 1 1 1 1 0 0 1 0", true,  true,  kAccepted},
        {{1131, kPropertiesCancel}, 0, 0, "",                  true,  true,  kRejected},
        {{1131, kEscape},           0, 0, "",                  true,  true,  kRejected},
        {{1131, kPropertiesApply, 1161, kPropertiesCancel}, 1, 0, "1 0 1 1 1 0 0 1 0", true, true, kRejected},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        DialogHarness h;
        Press(*h.dialog, row.steps);
        EXPECT_EQ(static_cast<int>(h.applied.size()), row.applies);
        EXPECT_EQ(h.saves, row.saves);
        EXPECT_EQ(h.Applied(), row.lastApplied + (row.applies ? " Lucida Console" : ""));
        EXPECT_EQ(Control(*h.dialog, kPropertiesApply).isEnabled(), row.applyEnabled);
        EXPECT_EQ(Control(*h.dialog, kSaveNow).isEnabled(), row.saveNowEnabled);
        EXPECT_EQ(h.dialog->isVisible() ? kOpen
                  : h.dialog->result()  ? kAccepted
                                        : kRejected,
                  row.outcome);
        for (const int id :
             {kFontButton, kPropertiesApply, kSaveNow, kPropertiesCancel, kPropertiesOk}) {
            EXPECT_EQ(Control(*h.dialog, id).isDefault(), id == kPropertiesOk);
        }
    }
}

} // namespace kestra::shell::testing
