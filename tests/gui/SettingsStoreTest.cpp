// The preferences file keeps names and values exactly and stays readable
// across versions; whatever stands in its place, loading keeps what it can
// without blocking, and a failed save says so and leaves the old file whole.

#include "GuiTestSupport.h"

namespace kestra::shell::testing {

namespace {

std::string FileText(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) {
        return "";
    }
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::unique_ptr<platform::IniSettingsStore> At(const std::string& path) {
    return platform::IniSettingsStore::AtPath(QString::fromStdString(path));
}

} // namespace

// Names reach the file escaped once, by QSettings; only '/' (a group
// separator to it) and '%' are encoded before. Files of earlier versions hold
// names encoded twice: they are read, and a save moves each value to its new
// key. The files live under the user's configuration folder.
TEST(IniSettingsStore, NamesAndValuesRoundTripExactly) {
    TemporaryDirectory home;
    kestra::testing::ScopedEnvironment config("XDG_CONFIG_HOME", home.Path());
    const std::string path = home / "Marrow Data/KESTRA/Lab 2.conf";
    EXPECT_EQ(platform::IniSettingsStore("Lab 2").FilePath().toStdString(), path);
    EXPECT_EQ(platform::IniSettingsStore("").FilePath().toStdString(),
              home / "Marrow Data/KESTRA.conf");
    std::filesystem::create_directories(home / "Marrow Data/KESTRA");
    std::ofstream(path) << "[General]\n%255C%255C%252E%255Cpipe%255CPIPE1=1 5 6 700 500 0 380\n"
                           "%252Frun%252Fa%2520b=0 1 2 3 4 5 6\n";
    EXPECT_EQ(platform::IniSettingsStore("Lab 2").Read("/run/a b"), "0 1 2 3 4 5 6");
    const struct {
        std::string name, value;
        const char* fileKey;
    } rows[] = {
        // clang-format off
        {"\\\\.\\pipe\\PIPE1", "0 10 10 660 400 0 0", "%5C%5C.%5Cpipe%5CPIPE1"},
        {"/run/user/1000/kestra pipes/a b", "x", "%252Frun%252Fuser%252F1000%252Fkestra%20pipes%252Fa%20b"},
        {"na\xc3\xafve=%;#[x]", "na\xc3\xafve \xe4\xb8\xad", "na%EFve%3D%2525%3B%23%5Bx%5D"},
        {"%2F", "y", "%25252F"},
        {"smile \xf0\x9f\x98\x80", " lead \"q\" back\\slash; x=y", "smile%20%UD83D%UDE00"},
        {"at", "@Variant(x)", "at"}, {"tab", "a\tb\nc", "tab"}, {"Longest", std::string(80, '1'), "Longest"},
        // clang-format on
    };
    {
        platform::IniSettingsStore store("Lab 2");
        EXPECT_EQ(store.Read(rows[0].name), "1 5 6 700 500 0 380");
        for (const auto& row : rows) {
            store.Write(row.name, row.value);
        }
        store.Write("Long", std::string(81, '1'));
        store.Write("Empty", "");
        ASSERT_TRUE(store.Commit());
    }
    const std::string text = FileText(path);
    platform::IniSettingsStore store("Lab 2");
    for (const auto& row : rows) {
        EXPECT_EQ(store.Read(row.name), row.value) << row.name;
        EXPECT_NE(text.find("\n" + std::string(row.fileKey) + "="), std::string::npos)
            << row.fileKey << text;
    }
    EXPECT_EQ(text.find("%255C"), std::string::npos) << "the old key is gone";
    EXPECT_EQ(store.Read("/run/a b"), "0 1 2 3 4 5 6") << "values not saved again stay";
    EXPECT_EQ(store.Read("\\\\.\\pipe\\PIPE2"), std::nullopt);
    EXPECT_EQ(store.Read("/"), std::nullopt) << "'/' is not the name \"%2F\"";
    EXPECT_EQ(store.Read("Long"), std::nullopt) << "values of more than 80 characters are not read";
    EXPECT_EQ(store.Read("Empty"), std::nullopt);
}

TEST(IniSettingsStore, WhatStandsInThePlaceOfTheFileNeverBlocksNorLosesTheOldFile) {
    const std::string defaults = console::FormatProperties({});
    std::string garbage(1 << 20, '\0');
    std::generate(garbage.begin(), garbage.end(), std::mt19937(7));
    garbage.insert(garbage.size() / 2, "\n[General]\nProperties=2 0 0 0 0 0 0 0 0\n");
    const struct {
        const char* name;
        const char* file;
        std::function<void(const std::string& path)> make;
        std::string loaded; // the Properties found
        bool saves;         // 100 more values; a failed save keeps what was there
        bool fullDisk;      // saving under a 2 KB file size limit
    } rows[] = {
        {"a directory", "KESTRA.conf", [](auto& path) { ::mkdir(path.c_str(), 0755); }, defaults,
         false, false},
        {"a named pipe nobody writes", "KESTRA.conf",
         [](auto& path) { ::mkfifo(path.c_str(), 0644); }, defaults, false, false},
        {"a dangling link", "KESTRA.conf",
         [](auto& path) { ::symlink("/nonexistent/kestra", path.c_str()); }, defaults, false,
         false},
        {"a file as its folder", "file/KESTRA.conf",
         [](auto& path) { std::ofstream(path.substr(0, path.rfind('/'))); }, defaults, false,
         false},
        {"a full disk", "KESTRA.conf",
         [](auto& path) { std::ofstream(path) << "[General]\nWindow=1 0 1 2 3 4\n"; }, defaults,
         false, true},
        {"a megabyte of garbage", "KESTRA.conf",
         [&](auto& path) { std::ofstream(path) << garbage; }, "2 0 0 0 0 0 0 0 0", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TemporaryDirectory dir;
        const std::string path = dir / row.file;
        row.make(path);
        // A store that blocks fails the test instead of hanging it: a writer
        // opened on a named pipe lets a blocked reader go.
        auto loading = std::async(std::launch::async, [&] {
            console::FramePlacement frame;
            console::Properties properties;
            console::LoadProperties(*At(path), console::kShowNormal, frame, properties);
            return properties;
        });
        if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "loading blocked";
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
        }
        const console::Properties loaded = loading.get();
        EXPECT_EQ(console::FormatProperties(loaded), row.loaded);
        const auto entries = [&] {
            return QDir(QString::fromStdString(dir.Path()))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        const std::string before = FileText(path);
        const QStringList entriesBefore = entries();
        std::size_t sizes[2] = {};
        for (std::size_t& size : sizes) {
            auto store = At(path);
            console::SaveFrameAndProperties(*store, {}, loaded);
            for (int i = 0; i < 100; ++i) {
                store->Write("Console " + std::to_string(i), std::string(60, '7'));
            }
            rlimit previous{};
            getrlimit(RLIMIT_FSIZE, &previous);
            const auto handler = signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{row.fullDisk ? 2048 : previous.rlim_cur, previous.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
            EXPECT_EQ(store->Commit(), row.saves);
            setrlimit(RLIMIT_FSIZE, &previous);
            signal(SIGXFSZ, handler);
            size = FileText(path).size();
        }
        EXPECT_LE(sizes[1], sizes[0]) << "saving again never adds to the file";
        if (!row.saves) {
            EXPECT_EQ(FileText(path), before);
            EXPECT_EQ(entries(), entriesBefore) << "no temporary file is left behind";
        }
    }
}

} // namespace kestra::shell::testing
