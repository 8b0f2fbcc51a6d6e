#include "platform/qt/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using kestra::platform::IniSettingsStore;

TEST(IniSettingsStore, NamesAndValuesRoundTripExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("KESTRA.conf");
    const std::pair<std::string, std::string> rows[] = {
        {"\\\\.\\pipe\\PIPE1", "0 10 10 660 400 0 0"},
        {"\\\\alpha\\pipe\\7001", "1 0 0 1 1 5 6"},
        {"/run/user/1000/kestra pipes/a b", "x"},
        {"Font", "Lucida Console, Bold"},
        {"na\xc3\xafve=%;#[x]", "v"},
    };
    {
        auto store = IniSettingsStore::AtPath(path);
        for (const auto& [name, value] : rows) {
            store->Write(name, value);
        }
        ASSERT_TRUE(store->Commit());
    }
    auto store = IniSettingsStore::AtPath(path);
    for (const auto& [name, value] : rows) {
        EXPECT_EQ(store->Read(name), value) << name;
    }
    EXPECT_EQ(store->Read("\\\\.\\pipe\\PIPE2"), std::nullopt);
    // Values of more than 80 characters, and empty ones, are not read.
    store->Write("Long", std::string(81, '1'));
    store->Write("Longest", std::string(80, '1'));
    store->Write("Empty", "");
    EXPECT_EQ(store->Read("Long"), std::nullopt);
    EXPECT_EQ(store->Read("Longest"), std::string(80, '1'));
    EXPECT_EQ(store->Read("Empty"), std::nullopt);
}

TEST(IniSettingsStore, ACorruptedFileIsReadAsFarAsItMakesSense) {
    QTemporaryDir dir;
    const QString path = dir.filePath("KESTRA.conf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x01\x02[[[garbage\n=\n%%%\xff\xfe\nWindow=1 0 1 2 3 4\n");
    file.close();
    auto store = IniSettingsStore::AtPath(path);
    EXPECT_EQ(store->Read("Properties"), std::nullopt);
    store->Write("Properties", "0 0");
    EXPECT_TRUE(store->Commit());
    EXPECT_EQ(IniSettingsStore::AtPath(path)->Read("Properties"), "0 0");
}

TEST(IniSettingsStore, AnUnwritableDirectorySavesNothingAndSaysSo) {
    // A path under a regular file cannot be created even by root.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-dir"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto store = IniSettingsStore::AtPath(dir.filePath("not-a-dir/KESTRA.conf"));
    store->Write("Properties", "0 0");
    EXPECT_FALSE(store->Commit());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file is left behind";
}

TEST(IniSettingsStore, SavingReplacesTheFileWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("KESTRA.conf");
    auto first = IniSettingsStore::AtPath(path);
    first->Write("Window", "1 0 1 2 3 4");
    ASSERT_TRUE(first->Commit());
    const ino_t before = [&] {
        struct stat info {};
        stat(path.toLocal8Bit().constData(), &info);
        return info.st_ino;
    }();
    first->Write("Window", "3 1 1 2 3 4");
    ASSERT_TRUE(first->Commit());
    struct stat after {};
    stat(path.toLocal8Bit().constData(), &after);
    EXPECT_NE(after.st_ino, before) << "a new file is renamed over the old one";
    EXPECT_EQ(IniSettingsStore::AtPath(path)->Read("Window"), "3 1 1 2 3 4");
}

// The files live where a user of ~/.config looks for them, with the .conf
// ending, and saving creates their folders.
TEST(IniSettingsStore, StoresAreConfFilesUnderTheUsersConfigFolder) {
    QTemporaryDir home;
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    // clang-format off
    const struct { std::string subKey; QString file; } rows[] = {
        {"",     "Marrow Data/KESTRA.conf"},
        {"LAB",  "Marrow Data/KESTRA/LAB.conf"},
        {"Lab 2", "Marrow Data/KESTRA/Lab 2.conf"},
    };
    // clang-format on
    for (const auto& row : rows) {
        const QString expected = home.filePath(row.file);
        EXPECT_EQ(IniSettingsStore::PathFor(row.subKey), expected) << row.subKey;
        {
            IniSettingsStore store(row.subKey);
            EXPECT_EQ(store.FilePath(), expected) << row.subKey;
            store.Write("Window", row.subKey + " 1 2 3 4");
            ASSERT_TRUE(store.Commit()) << row.subKey;
        }
        EXPECT_TRUE(QFile::exists(expected)) << row.subKey;
        IniSettingsStore reread(row.subKey);
        EXPECT_EQ(reread.Read("Window"), row.subKey + " 1 2 3 4") << row.subKey;
    }
    if (previous.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", previous);
    }
}
