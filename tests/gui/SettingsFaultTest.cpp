// The preferences file when the system works against it: something other
// than a file in its place, a directory that cannot be written, a file of
// garbage. Loading then keeps the defaults (or what could be read), saving
// says it failed and leaves what was there, and nothing blocks or crashes.

#include "console/Properties.h"
#include "platform/qt/IniSettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestra;
using platform::IniSettingsStore;

namespace {

// Makes a directory unwritable even for root (the immutable flag) for as long
// as it lives; Held() is false when the system allows neither way.
class ReadOnlyDirectory {
public:
    explicit ReadOnlyDirectory(const std::string& path) : path_(path) {
        ::chmod(path.c_str(), 0555);
        if (::access(path.c_str(), W_OK) != 0) {
            held_ = true;
            return;
        }
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (descriptor >= 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            immutable_ = held_ = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
    ~ReadOnlyDirectory() {
        if (immutable_) {
            const int descriptor = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY);
            int flags = 0;
            ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags);
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags);
            ::close(descriptor);
        }
        ::chmod(path_.c_str(), 0755);
    }
    bool Held() const { return held_; }

private:
    std::string path_;
    bool held_ = false;
    bool immutable_ = false;
};

std::string ReadWhole(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

struct Loaded {
    console::FramePlacement frame;
    console::Properties properties;
};

// Loads through a store at path, with a time limit: a store that blocks
// fails the test instead of hanging it (a writer opened on a named pipe lets
// a blocked reader go).
std::optional<Loaded> LoadWithin(const QString& path, std::chrono::seconds limit) {
    auto loading = std::async(std::launch::async, [path] {
        Loaded loaded;
        auto store = IniSettingsStore::AtPath(path);
        console::LoadProperties(*store, console::kShowNormal, loaded.frame, loaded.properties);
        return loaded;
    });
    if (loading.wait_for(limit) != std::future_status::ready) {
        const int writer = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
        loading.wait();
        return std::nullopt;
    }
    return loading.get();
}

TEST(SettingsFaults, WhatStandsInThePlaceOfTheFileLoadsNothingAndSavesNothing) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
    };
    const Case cases[] = {
        {"a directory", [](const std::string& path) { ::mkdir(path.c_str(), 0755); }},
        {"a named pipe that nobody writes",
         [](const std::string& path) { ::mkfifo(path.c_str(), 0644); }},
        {"a dangling link",
         [](const std::string& path) { ::symlink("/nonexistent/kestra/none", path.c_str()); }},
    };
    for (const Case& c : cases) {
        QTemporaryDir directory;
        const QString path = directory.filePath("KESTRA.conf");
        c.make(path.toStdString());
        const std::optional<Loaded> loaded = LoadWithin(path, std::chrono::seconds(5));
        ASSERT_TRUE(loaded.has_value()) << c.name << ": loading blocked";
        EXPECT_EQ(console::FormatProperties(loaded->properties),
                  console::FormatProperties(console::Properties{}))
            << c.name;
        EXPECT_EQ(loaded->properties.fontFace, console::Properties{}.fontFace) << c.name;
    }
}

TEST(SettingsFaults, AReadOnlyDirectoryKeepsTheOldFileAndSaysTheSaveFailed) {
    QTemporaryDir directory;
    const QString path = directory.filePath("KESTRA.conf");
    {
        auto store = IniSettingsStore::AtPath(path);
        store->Write("Properties", "0 0 0 0 0 1 1 0 1");
        ASSERT_TRUE(store->Commit());
    }
    const std::string before = ReadWhole(path);
    ReadOnlyDirectory readOnly(directory.path().toStdString());
    if (!readOnly.Held()) {
        GTEST_SKIP() << "the directory cannot be made read-only here";
    }
    console::FramePlacement frame;
    console::Properties properties;
    auto store = IniSettingsStore::AtPath(path);
    console::LoadProperties(*store, console::kShowNormal, frame, properties);
    EXPECT_TRUE(properties.boldFont && properties.italicFont) << "what is there is still read";
    properties.blinkMode = console::kBlinkAlways;
    console::SaveFrameAndProperties(*store, frame, properties);
    EXPECT_FALSE(store->Commit());
    EXPECT_EQ(ReadWhole(path), before) << "the old file is left as it was";
}

TEST(SettingsFaults, AMegabyteOfGarbageLoadsWhatParsesAndNeverGrows) {
    QTemporaryDir directory;
    const QString path = directory.filePath("KESTRA.conf");
    std::mt19937 random(7);
    std::string garbage(1 << 20, '\0');
    for (char& byte : garbage) {
        byte = static_cast<char>(random());
    }
    // A valid value buried in the middle is still found.
    garbage.insert(garbage.size() / 2, "\n[General]\nProperties=2 0 0 0 0 0 0 0 0\n");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage.data(), static_cast<qint64>(garbage.size()));
    }
    const std::optional<Loaded> loaded = LoadWithin(path, std::chrono::seconds(20));
    ASSERT_TRUE(loaded.has_value()) << "loading blocked";
    EXPECT_EQ(loaded->properties.blinkMode, console::kBlinkAlways);
    // Whatever parsed as a value is kept, as any value the program does not
    // know is; saving again never adds to it.
    std::size_t sizes[2] = {};
    for (std::size_t& size : sizes) {
        auto store = IniSettingsStore::AtPath(path);
        console::SaveFrameAndProperties(*store, loaded->frame, loaded->properties);
        ASSERT_TRUE(store->Commit());
        size = ReadWhole(path).size();
    }
    EXPECT_LE(sizes[1], sizes[0]);
    EXPECT_EQ(IniSettingsStore::AtPath(path)->Read("Properties"), "2 0 0 0 0 0 0 0 0");
}

} // namespace
