#include "platform/qt/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using kestra::platform::IniSettingsStore;

namespace {

QByteArray FileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Names reach the file escaped once, by QSettings; only '/' (a group
// separator to QSettings) and '%' are encoded before.
TEST(IniSettingsStore, NamesAndValuesRoundTripExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("KESTRA.conf");
    // clang-format off
    const struct { std::string name; std::string value; const char* fileKey; } rows[] = {
        {"\\\\.\\pipe\\PIPE1",                "0 10 10 660 400 0 0",           "%5C%5C.%5Cpipe%5CPIPE1"},
        {"\\\\alpha\\pipe\\7001",             "1 0 0 1 1 5 6",                 "%5C%5Calpha%5Cpipe%5C7001"},
        {"/run/user/1000/kestra pipes/a b", "x", "%252Frun%252Fuser%252F1000%252Fkestra%20pipes%252Fa%20b"},
        {"Font",                            "Lucida Console, Bold",          "Font"},
        {"na\xc3\xafve=%;#[x]",               "na\xc3\xafve \xe4\xb8\xad",             "na%EFve%3D%2525%3B%23%5Bx%5D"},
        {"%2F",                             "y",                             "%25252F"},
        {"smile \xf0\x9f\x98\x80",              " lead \"q\" back\\slash; x=y", "smile%20%UD83D%UDE00"},
        {"at",                              "@Variant(x)",                   "at"},
        {"tab",                             "a\tb\nc",                       "tab"},
    };
    // clang-format on
    {
        auto store = IniSettingsStore::AtPath(path);
        for (const auto& row : rows) {
            store->Write(row.name, row.value);
        }
        // Two consoles with one name share its value: the last one saved wins.
        store->Write(rows[1].name, "0 0 0 1 1 5 6");
        store->Write(rows[1].name, rows[1].value);
        ASSERT_TRUE(store->Commit());
    }
    const QByteArray text = FileText(path);
    EXPECT_EQ(text.count("%5C%5Calpha"), 1) << text.constData();
    auto store = IniSettingsStore::AtPath(path);
    for (const auto& row : rows) {
        EXPECT_EQ(store->Read(row.name), row.value) << row.name;
        EXPECT_TRUE(text.contains(QByteArray("\n") + row.fileKey + '='))
            << row.fileKey << text.constData();
    }
    EXPECT_EQ(store->Read("\\\\.\\pipe\\PIPE2"), std::nullopt);
    EXPECT_EQ(store->Read("/"), std::nullopt) << "'/' is not the name \"%2F\"";
    // Values of more than 80 characters, and empty ones, are not read.
    store->Write("Long", std::string(81, '1'));
    store->Write("Longest", std::string(80, '1'));
    store->Write("Empty", "");
    EXPECT_EQ(store->Read("Long"), std::nullopt);
    EXPECT_EQ(store->Read("Longest"), std::string(80, '1'));
    EXPECT_EQ(store->Read("Empty"), std::nullopt);
}

// Files from before the names were encoded once hold them encoded twice;
// they are read, and a save moves each value to its new key.
TEST(IniSettingsStore, EarlierFilesStayReadable) {
    QTemporaryDir dir;
    const QString path = dir.filePath("KESTRA.conf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n"
               "%255C%255C%252E%255Cpipe%255CPIPE1=1 5 6 700 500 0 380\n"
               "%252Frun%252Fa%2520b=0 1 2 3 4 5 6\n"
               "Window=3 1 1 2 300 400\n");
    file.close();
    const std::string pipe = "\\\\.\\pipe\\PIPE1";
    auto store = IniSettingsStore::AtPath(path);
    EXPECT_EQ(store->Read(pipe), "1 5 6 700 500 0 380");
    EXPECT_EQ(store->Read("/run/a b"), "0 1 2 3 4 5 6");
    EXPECT_EQ(store->Read("Window"), "3 1 1 2 300 400");

    store->Write(pipe, "0 5 6 700 500 0 380");
    ASSERT_TRUE(store->Commit());
    const QByteArray text = FileText(path);
    EXPECT_FALSE(text.contains("%255C")) << text.constData();
    EXPECT_TRUE(text.contains("%252Frun%252Fa%2520b=")) << "values not saved again stay";
    EXPECT_EQ(IniSettingsStore::AtPath(path)->Read(pipe), "0 5 6 700 500 0 380");
}

// Every way a save can fail leaves what was there as it was, with no
// temporary file beside it, and says so; nothing is read from a file that
// cannot be read.
TEST(IniSettingsStore, AFailedSaveLeavesTheOldFileWhole) {
    const QByteArray old = "[General]\nWindow=1 0 1 2 3 4\n";
    // Obstacles that stop root too: a file size limit stands for a full disk.
    enum Obstacle { kFileSizeLimit, kDirectoryInPlace, kFolderUnderAFile };
    for (const Obstacle obstacle : {kFileSizeLimit, kDirectoryInPlace, kFolderUnderAFile}) {
        QTemporaryDir dir;
        QString path = dir.filePath("KESTRA.conf");
        if (obstacle == kFolderUnderAFile) {
            QFile blocker(dir.filePath("not-a-dir"));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
            path = dir.filePath("not-a-dir/KESTRA.conf");
        } else if (obstacle == kDirectoryInPlace) {
            ASSERT_TRUE(QDir(dir.path()).mkdir("KESTRA.conf"));
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(old);
        }
        const auto entries = [&] {
            return QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        const QStringList before = entries();
        auto store = IniSettingsStore::AtPath(path);
        if (obstacle == kDirectoryInPlace) {
            EXPECT_EQ(store->Read("Window"), std::nullopt);
        }
        // More than the size limit lets through.
        for (int i = 0; i < 100; ++i) {
            store->Write("Console " + std::to_string(i), std::string(60, '7'));
        }
        rlimit previousLimit{};
        void (*previousHandler)(int) = SIG_DFL;
        if (obstacle == kFileSizeLimit) {
            getrlimit(RLIMIT_FSIZE, &previousLimit);
            previousHandler = signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{2048, previousLimit.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        const bool committed = store->Commit();
        if (obstacle == kFileSizeLimit) {
            setrlimit(RLIMIT_FSIZE, &previousLimit);
            signal(SIGXFSZ, previousHandler);
        }
        EXPECT_FALSE(committed) << obstacle;
        if (obstacle == kFileSizeLimit) {
            EXPECT_EQ(FileText(path), old);
        }
        EXPECT_EQ(entries(), before) << obstacle << ": no temporary file is left behind";
    }
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
        SCOPED_TRACE(row.subKey);
        {
            IniSettingsStore store(row.subKey);
            EXPECT_EQ(store.FilePath(), home.filePath(row.file));
            store.Write("Window", row.subKey + " 1 2 3 4");
            ASSERT_TRUE(store.Commit());
        }
        EXPECT_TRUE(QFile::exists(home.filePath(row.file)));
        EXPECT_EQ(IniSettingsStore(row.subKey).Read("Window"), row.subKey + " 1 2 3 4");
    }
    previous.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", previous);
}
