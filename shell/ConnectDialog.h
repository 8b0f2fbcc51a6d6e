#pragma once

#include "console/ConsoleDefinition.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// Connect...: the pipe name, unit name, rows, width and flags of a new
// console. OK hands the request to `define`, which returns the CON line's
// error message; the dialog shows it and stays open, or closes once the
// console exists.
namespace kestra::shell {

class ConnectDialog : public QDialog {
public:
    using Define = std::function<std::optional<std::string>(const console::ConnectRequest&)>;

    ConnectDialog(QWidget* parent, bool reconnectDefault, Define define);

    void accept() override;

private:
    Define define_;
    QLineEdit* pipe_;
    QLineEdit* unitName_;
    QSpinBox* rows_;
    QComboBox* width_;
    QCheckBox* eightBit_;
    QCheckBox* autowrap_;
    QCheckBox* cursor_;
    QCheckBox* telnet_;
    QCheckBox* reconnect_;
    QLabel* error_;
};

} // namespace kestra::shell
