#include "shell/Dialogs.h"

#include "platform/Exit.h"
#include "shell/Icons.h"
#include "shell/WindowLayout.h"

#include <QBoxLayout>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <cmath>

namespace kestra::shell {
namespace {

constexpr int kIconSize = 32;

Box ToBox(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

QRect DesktopOf(const QWidget& widget) {
    const QScreen* screen = widget.screen() ? widget.screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QPushButton* AddButton(QDialog& dialog, const char* id, const QString& text) {
    auto* button = new QPushButton(text, &dialog);
    button->setObjectName(QString::fromLatin1(id));
    // Enter presses the button that has the focus, as in any dialog of the
    // desktop; the default button only when the focus is elsewhere.
    button->setAutoDefault(true);
    return button;
}

QLabel* AddText(QDialog& dialog, const char* id, const QString& text) {
    auto* label = new QLabel(text, &dialog);
    label->setObjectName(QString::fromLatin1(id));
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Character cells are whole pixels wide; rounding the font's fractional
// advance down would cut the end off a long line of text.
int CharacterWidth(const QFont& font) {
    return std::max(
        1, static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')))));
}

// A message dialog before FitMessageDialog sizes it: icon top left, the
// text control beside it, room for one row of buttons below.
struct MessageDialogParts {
    IconLabel* icon = nullptr;
    QLabel* text = nullptr;
};

MessageDialogParts BuildMessageDialog(QDialog& dialog, const char* iconId, ShellIcon iconKind,
                                      const char* textId,
                                      const std::vector<QPushButton*>& buttons) {
    dialog.setFont(MessageFont());
    const QFontMetrics metrics(dialog.font());
    const int characterWidth = CharacterWidth(dialog.font());
    const int characterHeight = metrics.height();
    MessageDialogParts parts;
    parts.icon = new IconLabel(LoadShellIcon(iconKind), &dialog);
    parts.icon->setObjectName(QString::fromLatin1(iconId));
    parts.icon->setGeometry(2 * characterWidth, characterHeight, kIconSize, kIconSize);
    parts.text = AddText(dialog, textId, {});
    parts.text->setFont(dialog.font());
    parts.text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int textLeft = 4 * characterWidth + kIconSize;
    parts.text->setGeometry(textLeft, characterHeight, 40 * characterWidth, 3 * characterHeight);
    int buttonHeight = 0;
    for (QPushButton* button : buttons) {
        button->resize(std::max(button->sizeHint().width(), 12 * characterWidth),
                       button->sizeHint().height());
        buttonHeight = std::max(buttonHeight, button->height());
    }
    dialog.resize(textLeft + parts.text->width() + 2 * characterWidth,
                  characterHeight + parts.text->height() + 2 * characterHeight + buttonHeight);
    return parts;
}

} // namespace

QFont MessageFont() {
    QFont font(QStringLiteral("Lucida Console"), 9);
    font.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(font).family() != font.family()) {
        font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    }
    return font;
}

MessageFit FitMessageDialog(QDialog& dialog, std::string_view text, QLabel& textControl,
                            QPushButton* button1, QPushButton* button2, QPushButton* button3) {
    const QFontMetrics metrics(textControl.font());
    const Extent character{CharacterWidth(textControl.font()), std::max(1, metrics.height())};
    const Extent extra{dialog.width() - textControl.width(),
                       dialog.height() - textControl.height()};
    const QRect desktop = DesktopOf(dialog);
    const Extent maxCharacters{(desktop.width() - extra.width) / character.width,
                               (desktop.height() - extra.height) / character.height};
    const Extent minCharacters{textControl.width() / character.width,
                               textControl.height() / character.height};

    const TextFit fit = FitText(text, maxCharacters, minCharacters);
    const Extent size{extra.width + fit.columns * character.width,
                      extra.height + fit.rows * character.height};
    // A frame not shown yet (help during the command line) has no place to
    // centre on: the desktop stands in.
    const QWidget* parent = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    const QRect parentRect = parent && parent->isVisible() ? parent->geometry() : desktop;
    const Spot spot = CenteredPosition(ToBox(parentRect), size, ToBox(desktop));
    dialog.setGeometry(spot.x, spot.y, size.width, size.height);

    if (button1 != nullptr) {
        std::vector<QPushButton*> buttons{button1};
        for (QPushButton* more : {button2, button3}) {
            if (more == nullptr) {
                break;
            }
            buttons.push_back(more);
        }
        std::vector<Extent> sizes;
        for (const QPushButton* button : buttons) {
            sizes.push_back({button->width(), button->height()});
        }
        const std::vector<Spot> spots = PlaceMessageButtons(size, character, sizes);
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            buttons[i]->move(spots[i].x, spots[i].y);
        }
    }
    textControl.resize(fit.columns * character.width, fit.rows * character.height);
    return {fit.wrapped, fit.text};
}

IconLabel::IconLabel(const QIcon& icon, QWidget* parent) : QLabel(parent) {
    setPixmap(icon.pixmap(kIconSize, kIconSize));
}

void IconLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (onDoubleClick) {
        onDoubleClick();
    }
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About KESTRA"));
    setObjectName(QStringLiteral("200"));
    // Laid out rather than placed: the texts get the room their font needs.
    auto* group = new QGroupBox(this);
    auto* icon = new IconLabel(LoadShellIcon(ShellIcon::Frame), group);
    icon->setObjectName(QStringLiteral("202"));
    icon->setFixedSize(kIconSize, kIconSize);
    auto* texts = new QVBoxLayout;
    for (const auto& [id, text] : {std::pair{"203", std::string_view("KESTRA")},
                                   std::pair{"204", kVersionText}, std::pair{"205", kBuildText}}) {
        texts->addWidget(AddText(*this, id, QString::fromLatin1(text.data(), text.size())));
    }
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(icon, 0, Qt::AlignTop);
    groupLayout->addSpacing(kIconSize / 2);
    groupLayout->addLayout(texts);
    QPushButton* ok = AddButton(*this, "201", QStringLiteral("&OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(0); });
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(group);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    adjustSize();
}

ShutdownDialog::ShutdownDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Shutdown"));
    setObjectName(QStringLiteral("400"));
    auto* icon = new IconLabel(LoadShellIcon(ShellIcon::Shutdown), this);
    icon->setObjectName(QStringLiteral("401"));
    icon->setFixedSize(kIconSize, kIconSize);
    QLabel* question = AddText(*this, "402", QStringLiteral("Do you want to shut down KESTRA?"));
    QPushButton* shutdown = AddButton(*this, "405", QStringLiteral("&Shutdown"));
    QPushButton* cancel = AddButton(*this, "406", QStringLiteral("&Cancel"));
    shutdown->setDefault(true);
    connect(shutdown, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(0); });
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(kIconSize / 2);
    top->addWidget(question);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(shutdown);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addLayout(buttons);
    adjustSize();
    // A slip of Enter or Space must not end the program: Cancel has the focus.
    cancel->setFocus();
}

FatalErrorDialog::FatalErrorDialog(std::string_view message, Actions actions, QWidget* parent)
    : QDialog(parent), actions_(std::move(actions)) {
    setWindowTitle(QStringLiteral("Fatal Error"));
    setObjectName(QStringLiteral("500"));
    QPushButton* shutdown = AddButton(*this, "503", QStringLiteral("&Shutdown"));
    QPushButton* edit = AddButton(*this, "504", QStringLiteral("&Edit Cnf"));
    QPushButton* restart = AddButton(*this, "506", QStringLiteral("&Restart"));
    const MessageDialogParts parts =
        BuildMessageDialog(*this, "501", ShellIcon::Fatal, "502", {shutdown, edit, restart});
    shutdown->setDefault(true);
    shutdown->setFocus();

    const MessageFit fit = FitMessageDialog(*this, message, *parts.text, shutdown, edit, restart);
    wrapped_ = fit.wrapped;
    parts.text->setText(
        QString::fromStdString(ShowLineMarkers(fit.text, platform::kShownLineMarker, fit.wrapped)));
    edit->setEnabled(actions_.configOpened);

    parts.icon->onDoubleClick = [this] { done(1); };
    connect(shutdown, &QPushButton::clicked, this, [this] { done(0); });
    connect(restart, &QPushButton::clicked, this, [this] {
        MakeShutdownDefault();
        if (actions_.requestRestart) {
            actions_.requestRestart();
        }
        done(0);
    });
    connect(edit, &QPushButton::clicked, this, [this] {
        MakeShutdownDefault();
        if (actions_.editConfiguration) {
            actions_.editConfiguration();
        }
    });
}

void FatalErrorDialog::MakeShutdownDefault() {
    auto* shutdown = findChild<QPushButton*>(QStringLiteral("503"));
    for (auto* button : findChildren<QPushButton*>()) {
        button->setDefault(button == shutdown);
    }
    shutdown->setFocus();
}

HelpDialog::HelpDialog(std::string_view text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Command Line Help"));
    setObjectName(QStringLiteral("600"));
    QPushButton* shutdown = AddButton(*this, "603", QStringLiteral("&Shutdown"));
    const MessageDialogParts parts =
        BuildMessageDialog(*this, "601", ShellIcon::Help, "602", {shutdown});
    shutdown->setDefault(true);
    shutdown->setFocus();
    const MessageFit fit = FitMessageDialog(*this, text, *parts.text, shutdown);
    // The help has no marked token, but the message above it may quote one.
    parts.text->setText(
        QString::fromStdString(ShowLineMarkers(fit.text, platform::kShownLineMarker, fit.wrapped)));
    connect(shutdown, &QPushButton::clicked, this, [this] { done(0); });
}

} // namespace kestra::shell
