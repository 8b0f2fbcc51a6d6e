#pragma once

#include "platform/SettingsStore.h"

#include <QString>
#include <map>
#include <memory>

namespace kestra::platform {

// The preferences file: ~/.config/Marrow Data/KESTRA.conf, or
// ~/.config/Marrow Data/KESTRA/KEY.conf for a named key, in the INI format
// that QSettings reads. Value names such as \\.\pipe\PIPE1 (a console's name)
// survive the INI syntax unchanged.
//
// The file is read once, when the store is made; writes collect in memory
// and Commit writes the whole file anew: into a new file, readable by the user
// alone, that is renamed over the old one only when every byte reached it, so
// a save that fails half-way (a full disk) leaves the old file whole. A
// symbolic link at the file's name is neither followed nor replaced: the save
// fails.
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
    struct AtPathTag {};
    IniSettingsStore(AtPathTag, QString path);

    QString path_;
    // The text values by their key in the file: the file's as read, with the
    // writes since over them.
    std::map<QString, QString> values_;
    // False when something other than a file stands at the path (a
    // directory, a named pipe, a device): it is never opened, reads give
    // nothing and saving fails.
    bool isFileOrNothing_ = true;
};

} // namespace kestra::platform
