#include "GuiTestSupport.h"

namespace kestra::shell::testing {

// Whatever stands in the place of the preferences file, loading keeps what it
// can without blocking, saving never grows the file nor opens it to others, and
// a failed save says so and leaves what was there whole, with no temporary file.
TEST(SettingsStore, WhatStandsInThePlaceOfTheFileNeverBlocksNorLosesTheOldFile) {
    const std::string defaults = console::FormatProperties({});
    std::string garbage(1 << 20, '\0');
    std::generate(garbage.begin(), garbage.end(), std::mt19937(7));
    garbage.insert(garbage.size() / 2, "\n[General]\nProperties=2 0 0 0 0 0 0 0 0\n");
    const struct {
        const char* file;
        std::function<void(const std::string& path)> make;
        std::string loaded; // the Properties found
        bool saves;         // with 100 more values
        bool fullDisk;      // a 2 KB file size limit
    } rows[] = {
        // clang-format off
        {"KESTRA.conf", [](auto& path) { ::mkdir(path.c_str(), 0755); }, defaults, false, false},
        {"KESTRA.conf", [](auto& path) { ::mkfifo(path.c_str(), 0644); }, defaults, false, false},
        {"KESTRA.conf", [](auto& path) { ::symlink("/nonexistent/kestra", path.c_str()); }, defaults, false, false},
        {"file/KESTRA.conf", [](auto& path) { std::ofstream(path.substr(0, path.rfind('/'))); }, defaults, false, false},
        {"KESTRA.conf", [](auto& path) { std::ofstream(path) << "[General]\nWindow=1 0 1 2 3 4\n"; }, defaults, false, true},
        {"KESTRA.conf", [&](auto& path) { std::ofstream(path) << garbage; }, "2 0 0 0 0 0 0 0 0", true, false},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        TemporaryDirectory dir;
        const std::string path = dir / row.file;
        row.make(path);
        const auto store = [&] {
            return platform::IniSettingsStore::AtPath(QString::fromStdString(path));
        };
        auto loading = std::async(std::launch::async, [&] {
            console::FramePlacement frame;
            console::Properties properties;
            console::LoadProperties(*store(), console::kShowNormal, frame, properties);
            return properties;
        });
        if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "loading blocked"; // a writer lets a reader blocked on a pipe go
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
        }
        const console::Properties loaded = loading.get();
        EXPECT_EQ(console::FormatProperties(loaded), row.loaded);
        const auto entries = [&] {
            return std::distance(std::filesystem::directory_iterator(dir.Path()), {});
        };
        const std::string before = FileText(path);
        const auto entriesBefore = entries();
        std::size_t sizes[2] = {};
        for (std::size_t& size : sizes) {
            const auto saving = store();
            console::SaveFrameAndProperties(*saving, {}, loaded);
            for (int i = 0; i < 100; ++i) {
                saving->Write("Console " + std::to_string(i), std::string(60, '7'));
            }
            rlimit previous{};
            getrlimit(RLIMIT_FSIZE, &previous);
            const auto handler = signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{row.fullDisk ? 2048 : previous.rlim_cur, previous.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
            EXPECT_EQ(saving->Commit(), row.saves);
            setrlimit(RLIMIT_FSIZE, &previous);
            signal(SIGXFSZ, handler);
            size = FileText(path).size();
        }
        EXPECT_LE(sizes[1], sizes[0]);
        EXPECT_EQ(row.saves ? int(std::filesystem::status(path).permissions()) : 0600, 0600);
        EXPECT_EQ(FileText(path) == before && entries() == entriesBefore, !row.saves);
    }
}

} // namespace kestra::shell::testing
