#include "shell/ConnectDialog.h"

#include "emulator/ScreenBuffer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kestra::shell {

namespace {

QCheckBox* Flag(QFormLayout& form, const char* objectName, const char* text, bool checked) {
    auto* box = new QCheckBox(QString::fromLatin1(text));
    box->setObjectName(QString::fromLatin1(objectName));
    box->setChecked(checked);
    form.addRow(box);
    return box;
}

} // namespace

ConnectDialog::ConnectDialog(QWidget* parent, bool reconnectDefault, Define define)
    : QDialog(parent), define_(std::move(define)) {
    setWindowTitle(QStringLiteral("Connect"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    pipe_ = new QLineEdit;
    pipe_->setObjectName(QStringLiteral("PipeName"));
    form->addRow(QStringLiteral("&Pipe name:"), pipe_);
    unitName_ = new QLineEdit;
    unitName_->setObjectName(QStringLiteral("UnitName"));
    form->addRow(QStringLiteral("&Unit name:"), unitName_);
    rows_ = new QSpinBox;
    rows_->setObjectName(QStringLiteral("Rows"));
    rows_->setRange(emulator::kMinRows, emulator::kMaxRows);
    rows_->setValue(console::kDefaultRows);
    form->addRow(QStringLiteral("&Rows:"), rows_);
    width_ = new QComboBox;
    width_->setObjectName(QStringLiteral("Width"));
    width_->addItems(
        {QString::number(console::kDefaultWidth), QString::number(console::kWideWidth)});
    form->addRow(QStringLiteral("&Width:"), width_);
    eightBit_ = Flag(*form, "EightBit", "&8-bit input", false);
    autowrap_ = Flag(*form, "Autowrap", "&Auto-wrap", false);
    cursor_ = Flag(*form, "Cursor", "&Cursor", true);
    telnet_ = Flag(*form, "Telnet", "&Telnet", false);
    reconnect_ = Flag(*form, "Reconnect", "Re&connect", reconnectDefault);
    error_ = new QLabel;
    error_->setObjectName(QStringLiteral("Error"));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(error_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void ConnectDialog::accept() {
    console::ConnectRequest request;
    request.pipeName = pipe_->text().trimmed().toStdString();
    request.unitName = unitName_->text().toStdString();
    request.rows = static_cast<unsigned>(rows_->value());
    request.width = width_->currentText().toUInt();
    request.eightBit = eightBit_->isChecked();
    request.autowrap = autowrap_->isChecked();
    request.cursor = cursor_->isChecked();
    request.telnet = telnet_->isChecked();
    request.reconnect = reconnect_->isChecked();
    if (const std::optional<std::string> error = define_(request)) {
        error_->setText(QString::fromStdString(*error));
        return;
    }
    QDialog::accept();
}

} // namespace kestra::shell
