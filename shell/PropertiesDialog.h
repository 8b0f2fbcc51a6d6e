#pragma once

#include "console/Properties.h"

#include <QDialog>
#include <QFont>
#include <array>
#include <functional>
#include <optional>
#include <string_view>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The Properties dialog: the user's preferences shown in controls that carry
// their ids as object names ("1131" is Beep on Bell). The dialog changes the
// settings in use only through Apply, Save Now and OK; what Apply has made
// stays when the dialog is cancelled afterwards.
namespace kestra::shell {

enum PropertiesControl : int {
    kPropertiesDialogId = 1100,
    kPropertiesOk = 1101,
    kPropertiesCancel = 1102,
    kBlinkGroup = 1110,
    kSaveNow = 1142,
    kFontFaceText = 1164,
    kFontButton = 1165,
    kPropertiesApply = 1166,
};

// Where a check box sits in the dialog.
enum class FlagGroup { Beep, Display, Exit };

struct BlinkChoice {
    int id;
    std::string_view text;
    int mode;
};

struct FlagControl {
    int id;
    std::string_view text;
    bool console::Properties::*flag;
    FlagGroup group;
};

// clang-format off
inline constexpr std::array<BlinkChoice, 3> kBlinkChoices = {{
    // id     text            mode
    { 1111,  "&Never",       console::kBlinkNever      },
    { 1112,  "Fore&ground",  console::kBlinkForeground },
    { 1113,  "Alwa&ys",      console::kBlinkAlways     },
}};

// The check boxes in the order of the stored settings.
inline constexpr std::array<FlagControl, 8> kFlagControls = {{
    // id     text                            setting                                  group
    { 1131,  "Beep on Bel&l",                &console::Properties::beepOnBell,        FlagGroup::Beep    },
    { 1132,  "Beep on &Error",               &console::Properties::beepOnError,       FlagGroup::Beep    },
    { 1141,  "Save on Program E&xit",        &console::Properties::saveOnExit,        FlagGroup::Exit    },
    { 1152,  "&Prompt before Exit",          &console::Properties::promptBeforeExit,  FlagGroup::Exit    },
    { 1162,  "&Bold Font",                   &console::Properties::boldFont,          FlagGroup::Display },
    { 1161,  "Reverse &Video",               &console::Properties::reverseVideo,      FlagGroup::Display },
    { 1153,  "Prompt on System Shut&down",   &console::Properties::promptOnShutdown,  FlagGroup::Exit    },
    { 1163,  "&Italic Font",                 &console::Properties::italicFont,        FlagGroup::Display },
}};
// clang-format on

// The font chooser: fixed-pitch families only, starting from initial.
// Nothing when the user cancels.
using FontChooser = std::function<std::optional<QFont>(QWidget* parent, const QFont& initial)>;
FontChooser FixedPitchFontChooser();

// The font the chooser starts from: the face shown, at the console cell's
// nominal 20 pixels, bold and italic as their check boxes say.
QFont ChooserStartFont(std::string_view face, bool bold, bool italic);

class PropertiesDialog : public QDialog {
public:
    struct Actions {
        // Whether the display is palette-based; the blink choice is offered
        // only then.
        std::function<bool()> paletteDevice;
        // The settings become the ones in use and the consoles follow them.
        std::function<void(const console::Properties& properties)> apply;
        // Stores the settings in use (Save Now, after applying).
        std::function<void()> saveNow;
        FontChooser chooseFont = FixedPitchFontChooser();
    };

    PropertiesDialog(const console::Properties& current, Actions actions, QWidget* parent);

    // The settings as the controls show them, over the ones applied last:
    // with no blink button checked the blink mode stays as it was.
    console::Properties FromControls() const;

private:
    void BuildControls();
    void LoadControls();
    void Changed();
    void ChooseFont();
    void ApplyClicked(bool save);
    void Apply();
    void EnableBlinkChoice();
    QPushButton* Button(int id) const;
    QCheckBox* FlagBox(bool console::Properties::*flag) const;

    console::Properties applied_;
    Actions actions_;
    QGroupBox* blinkGroup_ = nullptr;
    std::array<QRadioButton*, kBlinkChoices.size()> blinkButtons_{};
    std::array<QCheckBox*, kFlagControls.size()> flagBoxes_{};
    QLabel* faceText_ = nullptr;
};

} // namespace kestra::shell
