#include "platform/qt/IniSettingsStore.h"

#include "platform/UserFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <sys/stat.h>

namespace kestra::platform {

namespace {

constexpr const char* kOrganization = "Marrow Data";
constexpr const char* kApplication = "KESTRA";

// QSettings escapes every character of a key that INI syntax would not keep
// (a backslash becomes %5C in the file) except '/', which it takes for a
// group separator and collapses. So only '/' is ours to encode, and '%' so
// that an encoded '/' cannot be mistaken for a name that holds "%2F".
QString EncodedName(std::string_view name) {
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    QString encoded;
    encoded.reserve(text.size());
    for (const QChar character : text) {
        if (character == u'%') {
            encoded += QStringLiteral("%25");
        } else if (character == u'/') {
            encoded += QStringLiteral("%2F");
        } else {
            encoded += character;
        }
    }
    return encoded;
}

// Files written before percent-encoded every character but letters and
// digits (and QSettings then escaped the '%' once more). They are still read;
// the two encodings give the same key only for the same name.
QString EarlierEncodedName(std::string_view name) {
    const QByteArray raw(name.data(), static_cast<qsizetype>(name.size()));
    // "-._~" are named to be encoded too: that is how those files were made.
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(raw), "", "-._~"));
}

void AppendHex(QByteArray& out, unsigned value, int digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        out += kHex[(value >> shift) & 0xF];
    }
}

// A key as QSettings writes it, so that it reads it back unchanged: letters,
// digits and "_-." as they are, '/' (a group) as '\', every other character
// up to 0xFF as %XX and the rest as %UXXXX per UTF-16 unit.
QByteArray IniKey(const QString& key) {
    QByteArray out;
    for (const QChar character : key) {
        const char16_t unit = character.unicode();
        if ((unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') ||
            (unit >= '0' && unit <= '9') || unit == '_' || unit == '-' || unit == '.') {
            out += static_cast<char>(unit);
        } else if (unit == '/') {
            out += '\\';
        } else if (unit <= 0xFF) {
            out += '%';
            AppendHex(out, unit, 2);
        } else {
            out += "%U";
            AppendHex(out, unit, 4);
        }
    }
    return out;
}

// A value as QSettings reads it back as the same text: plain when it holds
// only characters that mean nothing to the INI syntax (the numbers and face
// names the program stores), else quoted with '\' and '"' escaped and a
// leading '@' doubled. Control
// characters other than tab and new lines are left out: the program never
// makes them, and QSettings has no escape for them that ends unambiguously.
QByteArray IniValue(const QString& value) {
    const QByteArray text = value.toUtf8();
    bool plain = !text.isEmpty() && text.front() != ' ' && text.back() != ' ';
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        const bool letter = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') ||
                            (code >= '0' && code <= '9') || code >= 0x80;
        if (!letter && byte != ' ' && byte != '-' && byte != '.' && byte != '_' && byte != '+') {
            plain = false;
        }
    }
    if (plain || text.isEmpty()) {
        return text;
    }
    QByteArray out = "\"";
    // QSettings takes a text that starts with '@' for a typed value ("@Size(...)")
    // unless the '@' is doubled.
    if (text.front() == '@') {
        out += '@';
    }
    for (const char byte : text) {
        switch (byte) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(byte) >= 0x20 && byte != 0x7F) {
                out += byte;
            }
        }
    }
    out += '"';
    return out;
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

IniSettingsStore::IniSettingsStore(std::string_view subKey)
    : IniSettingsStore(AtPathTag{}, PathFor(subKey)) {}

IniSettingsStore::IniSettingsStore(AtPathTag, QString path)
    : path_(std::move(path)), isFileOrNothing_(IsFileOrNothing(path_)) {
    if (!isFileOrNothing_) {
        return;
    }
    // QSettings reads whatever a user may have put there; a file it cannot
    // read gives no values, and lines it cannot make sense of are skipped.
    const QSettings file(path_, QSettings::IniFormat);
    for (const QString& key : file.allKeys()) {
        const QVariant value = file.value(key);
        // Only texts are ever read; anything else is left out of the next save.
        if (value.userType() == QMetaType::QString) {
            values_[key] = value.toString();
        }
    }
}

std::unique_ptr<IniSettingsStore> IniSettingsStore::AtPath(const QString& path) {
    return std::unique_ptr<IniSettingsStore>(new IniSettingsStore(AtPathTag{}, path));
}

std::optional<std::string> IniSettingsStore::Read(std::string_view name) {
    auto found = values_.find(EncodedName(name));
    if (found == values_.end()) {
        found = values_.find(EarlierEncodedName(name));
    }
    if (found == values_.end()) {
        return std::nullopt;
    }
    const QByteArray text = found->second.toUtf8();
    if (text.isEmpty() || static_cast<std::size_t>(text.size()) > kMaxValue) {
        return std::nullopt;
    }
    return text.toStdString();
}

void IniSettingsStore::Write(std::string_view name, std::string_view value) {
    const QString key = EncodedName(name);
    values_[key] = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    // The value now lives under its new key; the earlier one would only be
    // a stale copy.
    const QString earlier = EarlierEncodedName(name);
    if (earlier != key) {
        values_.erase(earlier);
    }
}

bool IniSettingsStore::Commit() {
    if (!isFileOrNothing_ || !IsFileOrNothing(path_)) {
        return false;
    }
    QByteArray text = "[General]\n";
    for (const auto& [key, value] : values_) {
        text += IniKey(key) + '=' + IniValue(value) + '\n';
    }
    const std::string directory = QFile::encodeName(QFileInfo(path_).absolutePath()).toStdString();
    if (CreateDirectories(directory, 0700) != 0) {
        return false;
    }
    // A new user-only file beside the old one, renamed over it once every
    // byte reached the disk; never the old file in place, nor through a link.
    return ReplaceUserFile(
               QFile::encodeName(path_).toStdString(),
               std::string_view(text.constData(), static_cast<std::size_t>(text.size()))) == 0;
}

} // namespace kestra::platform
