#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>
#include <memory>

namespace kestra::platform {

// The preferences file: ~/.config/Marrow Data/KESTRA.conf, or
// ~/.config/Marrow Data/KESTRA/KEY.conf for a named key, in INI format. Value
// names are percent-encoded so that names such as \\.\pipe\PIPE1 (a
// console's name) survive the INI syntax unchanged.
class IniSettingsStore : public SettingsStore {
public:
    // subKey empty: the program's own file.
    explicit IniSettingsStore(std::string_view subKey);
    // A store in an explicit file (tests, and users who point elsewhere).
    static std::unique_ptr<IniSettingsStore> AtPath(const QString& path);
    // The file of the program's own store (subKey empty) or of a named key.
    static QString PathFor(std::string_view subKey);

    std::optional<std::string> Read(std::string_view name) override;
    void Write(std::string_view name, std::string_view value) override;
    bool Commit() override;

    QString FilePath() const { return path_; }

private:
    explicit IniSettingsStore(const QString& path);
    QString path_;
    // Null when something other than a file stands at the path (a directory,
    // a named pipe, a device): it is never opened, reads give nothing and
    // saving fails.
    std::unique_ptr<QSettings> settings_;
};

} // namespace kestra::platform
