#include "shell/PropertiesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

namespace kestra::shell {
namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Id(int id) {
    return QString::number(id);
}

// The cell height a console font is scaled to; the chooser only needs a
// reasonable size to show, since the size chosen is never used.
constexpr int kChooserPixelSize = 20;

} // namespace

QFont ChooserStartFont(std::string_view face, bool bold, bool italic) {
    QFont font(Text(console::CutFontFace(face)));
    font.setPixelSize(kChooserPixelSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

FontChooser FixedPitchFontChooser() {
    return [](QWidget* parent, const QFont& initial) -> std::optional<QFont> {
        // Qt's own dialog, not the desktop's: only it honours the filter that
        // keeps proportional fonts out, and it looks the same everywhere.
        QFontDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("fontChooser"));
        dialog.setOptions(QFontDialog::MonospacedFonts | QFontDialog::DontUseNativeDialog);
        dialog.setCurrentFont(initial);
        // Strike-out, underline, colour and writing systems change nothing in
        // a console: only the families, their styles and sizes are offered.
        for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
            if (!group->findChildren<QCheckBox*>().isEmpty()) {
                group->hide();
            }
        }
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (qobject_cast<QComboBox*>(label->buddy()) != nullptr) {
                label->hide();
            }
        }
        for (QComboBox* choice : dialog.findChildren<QComboBox*>()) {
            choice->hide();
        }
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.selectedFont();
    };
}

PropertiesDialog::PropertiesDialog(const console::Properties& current, Actions actions,
                                   QWidget* parent)
    : QDialog(parent), applied_(current), actions_(std::move(actions)) {
    setWindowTitle(QStringLiteral("Properties"));
    setObjectName(Id(kPropertiesDialogId));
    BuildControls();
    LoadControls();
}

void PropertiesDialog::BuildControls() {
    blinkGroup_ = new QGroupBox(QStringLiteral("Blink"), this);
    blinkGroup_->setObjectName(Id(kBlinkGroup));
    auto* blinkLayout = new QVBoxLayout(blinkGroup_);
    for (std::size_t i = 0; i < kBlinkChoices.size(); ++i) {
        auto* radio = new QRadioButton(Text(kBlinkChoices[i].text), blinkGroup_);
        radio->setObjectName(Id(kBlinkChoices[i].id));
        blinkLayout->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, [this] { Changed(); });
        blinkButtons_[i] = radio;
    }

    // The other controls in untitled boxes: the beeps, the look of the
    // consoles, and what happens at exit.
    auto* beepGroup = new QGroupBox(this);
    auto* displayGroup = new QGroupBox(this);
    auto* exitGroup = new QGroupBox(this);
    auto* beepLayout = new QVBoxLayout(beepGroup);
    auto* displayLayout = new QVBoxLayout(displayGroup);
    auto* exitLayout = new QGridLayout(exitGroup);
    for (std::size_t i = 0; i < kFlagControls.size(); ++i) {
        auto* box = new QCheckBox(Text(kFlagControls[i].text), this);
        box->setObjectName(Id(kFlagControls[i].id));
        connect(box, &QCheckBox::clicked, this, [this] { Changed(); });
        flagBoxes_[i] = box;
    }
    // Within a box the controls go in the order of their ids (Reverse Video
    // above the font's styles), not in the order the settings are stored.
    std::array<std::size_t, kFlagControls.size()> byId{};
    std::iota(byId.begin(), byId.end(), std::size_t{0});
    std::ranges::sort(byId, {}, [](std::size_t i) { return kFlagControls[i].id; });
    int exitRow = 0;
    for (const std::size_t i : byId) {
        switch (kFlagControls[i].group) {
        case FlagGroup::Beep: beepLayout->addWidget(flagBoxes_[i]); break;
        case FlagGroup::Display: displayLayout->addWidget(flagBoxes_[i]); break;
        case FlagGroup::Exit: exitLayout->addWidget(flagBoxes_[i], exitRow++, 0); break;
        }
    }
    beepLayout->addStretch();

    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(new QLabel(QStringLiteral("Font:"), displayGroup));
    faceText_ = new QLabel(displayGroup);
    faceText_->setObjectName(Id(kFontFaceText));
    faceText_->setTextFormat(Qt::PlainText);
    fontRow->addWidget(faceText_, 1);
    displayLayout->addLayout(fontRow);

    auto makeButton = [this](int id, const char* text) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        button->setObjectName(Id(id));
        // Enter presses the focused button; OK when the focus is elsewhere.
        button->setAutoDefault(true);
        return button;
    };
    QPushButton* fontButton = makeButton(kFontButton, "&Font...");
    displayLayout->addWidget(fontButton, 0, Qt::AlignRight);
    QPushButton* saveNow = makeButton(kSaveNow, "&Save Now");
    // Beside Save on Program Exit (the first of its box): both are about saving.
    exitLayout->addWidget(saveNow, 0, 1);
    QPushButton* ok = makeButton(kPropertiesOk, "&OK");
    QPushButton* cancel = makeButton(kPropertiesCancel, "&Cancel");
    QPushButton* apply = makeButton(kPropertiesApply, "&Apply");
    ok->setDefault(true);

    auto* columns = new QGridLayout;
    columns->addWidget(blinkGroup_, 0, 0);
    columns->addWidget(beepGroup, 1, 0);
    columns->addWidget(displayGroup, 0, 1);
    columns->addWidget(exitGroup, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {ok, cancel, apply}) {
        buttons->addWidget(button);
    }
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(fontButton, &QPushButton::clicked, this, [this] { ChooseFont(); });
    connect(apply, &QPushButton::clicked, this, [this] { ApplyClicked(false); });
    connect(saveNow, &QPushButton::clicked, this, [this] { ApplyClicked(true); });
    connect(ok, &QPushButton::clicked, this, [this] {
        Apply();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void PropertiesDialog::LoadControls() {
    for (std::size_t i = 0; i < kBlinkChoices.size(); ++i) {
        blinkButtons_[i]->setChecked(kBlinkChoices[i].mode == applied_.blinkMode);
    }
    for (std::size_t i = 0; i < kFlagControls.size(); ++i) {
        flagBoxes_[i]->setChecked(applied_.*kFlagControls[i].flag);
    }
    faceText_->setText(Text(applied_.fontFace));
    EnableBlinkChoice();
    Button(kPropertiesApply)->setEnabled(false);
}

QPushButton* PropertiesDialog::Button(int id) const {
    return findChild<QPushButton*>(Id(id));
}

QCheckBox* PropertiesDialog::FlagBox(bool console::Properties::*flag) const {
    for (std::size_t i = 0; i < kFlagControls.size(); ++i) {
        if (kFlagControls[i].flag == flag) {
            return flagBoxes_[i];
        }
    }
    return nullptr;
}

void PropertiesDialog::EnableBlinkChoice() {
    // Without a palette-based display there is no animation to choose.
    const bool enabled = actions_.paletteDevice && actions_.paletteDevice();
    blinkGroup_->setEnabled(enabled);
}

void PropertiesDialog::Changed() {
    Button(kPropertiesApply)->setEnabled(true);
    Button(kSaveNow)->setEnabled(true);
}

console::Properties PropertiesDialog::FromControls() const {
    console::Properties properties = applied_;
    for (std::size_t i = 0; i < kBlinkChoices.size(); ++i) {
        if (blinkButtons_[i]->isChecked()) {
            properties.blinkMode = kBlinkChoices[i].mode;
        }
    }
    for (std::size_t i = 0; i < kFlagControls.size(); ++i) {
        properties.*kFlagControls[i].flag = flagBoxes_[i]->isChecked();
    }
    properties.fontFace = console::CutFontFace(faceText_->text().toStdString());
    return properties;
}

void PropertiesDialog::ChooseFont() {
    if (!actions_.chooseFont) {
        return;
    }
    QCheckBox* bold = FlagBox(&console::Properties::boldFont);
    QCheckBox* italic = FlagBox(&console::Properties::italicFont);
    const std::optional<QFont> chosen =
        actions_.chooseFont(this, ChooserStartFont(faceText_->text().toStdString(),
                                                   bold->isChecked(), italic->isChecked()));
    if (!chosen) {
        return;
    }
    bold->setChecked(chosen->bold());
    italic->setChecked(chosen->italic());
    faceText_->setText(Text(console::CutFontFace(chosen->family().toStdString())));
    Changed();
}

void PropertiesDialog::ApplyClicked(bool save) {
    if (save) {
        Button(kSaveNow)->setEnabled(false);
    }
    // Enter now means OK again, whichever button had the focus.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setDefault(button->objectName() == Id(kPropertiesOk));
    }
    Button(kPropertiesOk)->setFocus();
    Button(kPropertiesApply)->setEnabled(false);
    Apply();
    if (save && actions_.saveNow) {
        actions_.saveNow();
    }
}

void PropertiesDialog::Apply() {
    applied_ = FromControls();
    if (actions_.apply) {
        actions_.apply(applied_);
    }
    EnableBlinkChoice();
}

} // namespace kestra::shell
