#include "platform/qt/IniSettingsStore.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <sys/stat.h>

namespace kestra::platform {

namespace {

constexpr const char* kOrganization = "Marrow Data";
constexpr const char* kApplication = "KESTRA";

// QSettings treats '/' and '\' in a key as group separators; encoding every
// character that is not a letter or digit keeps a name exactly as given.
QString EncodedName(std::string_view name) {
    const QByteArray raw(name.data(), static_cast<qsizetype>(name.size()));
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(raw), "", "-._~"));
}

// A path the store may read and replace: nothing there yet, or a regular
// file (through links). Reading a named pipe would block start-up for good,
// and a directory or device is no preferences file.
bool IsFileOrNothing(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(status.st_mode);
}

} // namespace

QString IniSettingsStore::PathFor(std::string_view subKey) {
    // Named explicitly: QSettings would pick the name from the organisation
    // and application and give it the .ini ending, not the .conf a user of
    // ~/.config expects to find.
    const QString directory =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/") + QLatin1String(kOrganization);
    if (subKey.empty()) {
        return directory + QStringLiteral("/") + QLatin1String(kApplication) +
               QStringLiteral(".conf");
    }
    return directory + QStringLiteral("/") + QLatin1String(kApplication) + QStringLiteral("/") +
           QString::fromUtf8(subKey.data(), static_cast<qsizetype>(subKey.size())) +
           QStringLiteral(".conf");
}

IniSettingsStore::IniSettingsStore(std::string_view subKey) : IniSettingsStore(PathFor(subKey)) {}

IniSettingsStore::IniSettingsStore(const QString& path) : path_(path) {
    if (IsFileOrNothing(path)) {
        settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
        settings_->setAtomicSyncRequired(true);
    }
}

std::unique_ptr<IniSettingsStore> IniSettingsStore::AtPath(const QString& path) {
    return std::unique_ptr<IniSettingsStore>(new IniSettingsStore(path));
}

std::optional<std::string> IniSettingsStore::Read(std::string_view name) {
    if (!settings_) {
        return std::nullopt;
    }
    const QVariant value = settings_->value(EncodedName(name));
    if (!value.isValid() || value.userType() != QMetaType::QString) {
        return std::nullopt;
    }
    const QByteArray text = value.toString().toUtf8();
    if (text.isEmpty() || static_cast<std::size_t>(text.size()) > kMaxValue) {
        return std::nullopt;
    }
    return text.toStdString();
}

void IniSettingsStore::Write(std::string_view name, std::string_view value) {
    if (!settings_) {
        return;
    }
    settings_->setValue(EncodedName(name),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

bool IniSettingsStore::Commit() {
    if (!settings_) {
        return false;
    }
    settings_->sync();
    // A format error only says that unreadable lines were dropped while
    // reading; the file was still written.
    return settings_->status() != QSettings::AccessError;
}

} // namespace kestra::platform
