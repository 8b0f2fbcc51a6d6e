#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <string>
#include <string_view>

class QPushButton;

// The shell's fixed dialogs, built in code with the titles, texts and
// buttons the user knows; every control carries its id as object name
// ("503" is the Fatal Error dialog's Shutdown button).
namespace kestra::shell {

inline constexpr std::string_view kVersionText = "Version 4.23.59";
inline constexpr std::string_view kBuildText = "Build 158. Monday, November 25, 2002  14:09:25";

// Sizes a message dialog to its text: as wide and tall as the text needs,
// within what the desktop holds and no smaller than the text control was;
// lines too long for the desktop are wrapped. Centres the dialog over its
// parent, places the buttons and sizes the text control. Returns whether a
// line was wrapped, and the text with its wraps, for the control.
struct MessageFit {
    bool wrapped = false;
    std::string text;
};
MessageFit FitMessageDialog(QDialog& dialog, std::string_view text, QLabel& textControl,
                            QPushButton* button1, QPushButton* button2 = nullptr,
                            QPushButton* button3 = nullptr);

// The monospaced font of the message dialogs; "DejaVu Sans Mono" where
// "Lucida Console" is missing.
QFont MessageFont();

// An icon that reports double clicks.
class IconLabel : public QLabel {
public:
    IconLabel(const QIcon& icon, QWidget* parent);
    std::function<void()> onDoubleClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(QWidget* parent);
};

// exec() gives 1 for Shutdown (the user agrees) and 0 for Cancel.
class ShutdownDialog : public QDialog {
public:
    explicit ShutdownDialog(QWidget* parent);
};

// exec() gives 0 for Shutdown, Restart and Cancel, 1 for a double click on
// the icon. Edit Cnf calls editConfiguration and leaves the dialog open;
// Restart calls requestRestart first.
class FatalErrorDialog : public QDialog {
public:
    struct Actions {
        bool configOpened = false;
        std::function<void()> editConfiguration;
        std::function<void()> requestRestart;
    };
    FatalErrorDialog(std::string_view message, Actions actions, QWidget* parent);
    bool Wrapped() const { return wrapped_; }

private:
    void MakeShutdownDefault();
    Actions actions_;
    bool wrapped_ = false;
};

class HelpDialog : public QDialog {
public:
    HelpDialog(std::string_view text, QWidget* parent);
};

} // namespace kestra::shell
