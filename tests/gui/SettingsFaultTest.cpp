// The preferences file when the system works against it: something other
// than a file in its place, or a file of garbage. Loading keeps the defaults
// (or what could be read) and never blocks.

#include "console/Properties.h"
#include "platform/qt/IniSettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestra;
using platform::IniSettingsStore;

namespace {

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
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        size = static_cast<std::size_t>(file.size());
    }
    EXPECT_LE(sizes[1], sizes[0]);
    EXPECT_EQ(IniSettingsStore::AtPath(path)->Read("Properties"), "2 0 0 0 0 0 0 0 0");
}

} // namespace
