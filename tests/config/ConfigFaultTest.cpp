// Configuration files that are large, malformed or hostile: the passes either
// read them whole or stop at the first fault with its located report; no
// file is left open, no input grows a line past 255 characters.

#include "ConfigTestSupport.h"

#include <dirent.h>
#include <functional>

namespace kestra::config::testing {
namespace {

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    if (DIR* directory = ::opendir("/proc/self/fd")) {
        while (::readdir(directory) != nullptr) {
            ++count;
        }
        ::closedir(directory);
    }
    return count;
}

std::string Repeated(std::size_t count, const std::function<std::string(std::size_t)>& line) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += line(i);
    }
    return text;
}

class ConfigFaults : public ConfigFilesTest {};

// What the passes make of each set of files: the report (case directory left
// out) or, when they succeed, a check of what they set.
TEST_F(ConfigFaults, LargeAndHostileFilesAreReadWholeOrReportedWhereTheyFail) {
    const std::string x254(254, 'x');
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files; // the first is read
        std::optional<std::string> report;                      // nullopt: accepted
        std::function<bool(const GlobalOptions&, const std::vector<RecordedConsole>&)> holds;
    };
    const Case cases[] = {
        {"10,000 lines: comments, blanks, options and a hundred consoles",
         {{"k.cnf", Repeated(10000,
                             [](std::size_t i) {
                                 switch (i % 100) {
                                 case 0:
                                     return "CON /UNIT:" + std::to_string(i / 100) + " = P" +
                                            std::to_string(i) + "\n";
                                 case 1: return "Title = line " + std::to_string(i) + "\n";
                                 case 2: return std::string("   \t\n");
                                 default: return "; comment " + std::to_string(i) + "\n";
                                 }
                             })}},
         std::nullopt,
         [](const GlobalOptions& options, const std::vector<RecordedConsole>& consoles) {
             return options.title == "line 9901" && consoles.size() == 100 &&
                    consoles.back().unit == 99 && consoles.back().pipeName == "P9900";
         }},
        {"an error on line 10,000 names that line",
         {{"k.cnf", Repeated(9999, [](std::size_t) { return "; filler\n"; }) + "Bogus = 1\n"}},
         "Error in line 10000 of k.cnf\nBogus = 1\n^^^^^\nUnknown configuration command\n",
         nullptr},
        // A line is read in pieces of 254 characters: the rest of a long
        // Title is a line of its own, and no keyword.
        {"a Title of 10,000 characters",
         {{"k.cnf", "Title = " + std::string(10000, 'x') + "\n"}},
         "Error in line 2 of k.cnf\n" + x254 + "\n" + std::string(254, '^') +
             "\nUnknown configuration command\n",
         nullptr},
        {"a UNITNAME of 10,000 characters",
         {{"k.cnf", "CON /UNITNAME:" + std::string(10000, 'x') + " = P\n"}},
         "Error in line 2 of k.cnf\n" + x254 + "\n" + std::string(254, '^') +
             "\nUnknown configuration command\n",
         nullptr},
        {"a quoted Title of 10,000 characters",
         {{"k.cnf", "Title = \"" + std::string(10000, 'x') + "\"\n"}},
         // Reported while the token is read: the whole line is marked.
         "Error in line 1 of k.cnf\nTitle = \"" + std::string(245, 'x') + "\n----- - " +
             std::string(246, '-') + "^\nUnmatched quotation marks\n",
         nullptr},
        // The line ends at the NUL.
        {"a line of NUL bytes and control characters",
         {{"k.cnf", std::string("Title = a\0b\x01\x7f\xff", 14) + "\n"}},
         std::nullopt,
         [](const GlobalOptions& options, const std::vector<RecordedConsole>&) {
             return options.title == "a";
         }},
        {"variables that would grow the line past 255 characters stop growing it",
         {{"k.cnf", "Title = %KESTRA_FAULT_LONG%%KESTRA_FAULT_LONG%\n"}},
         std::nullopt,
         [](const GlobalOptions& options, const std::vector<RecordedConsole>&) {
             return options.title == std::string(200, 'v') + "%KESTRA_FAULT_LONG%";
         }},
        {"an INCLUDE cycle through three files",
         {{"k.cnf", "INCLUDE a.cnf\n"}, {"a.cnf", "INCLUDE b.cnf\n"}, {"b.cnf", "INCLUDE k.cnf\n"}},
         "Error in line 1 of b.cnf\n    from line 1 of a.cnf\n    from line 1 of k.cnf\n"
         "INCLUDE k.cnf\n------- ^^^^^\n"
         "Can't open include file k.cnf (it is already open: a file may not include itself)\n",
         nullptr},
        {"a file included a thousand times, one after the other",
         {{"k.cnf", Repeated(1000, [](std::size_t) { return "INCLUDE u.cnf\n"; })},
          {"u.cnf", "CON = P\n"}},
         std::nullopt,
         [](const GlobalOptions&, const std::vector<RecordedConsole>& consoles) {
             return consoles.size() == 1000;
         }},
        {"a chain of two hundred includes",
         {{"k.cnf", "INCLUDE i1.cnf\nCON = after\n"}},
         std::nullopt,
         [](const GlobalOptions& options, const std::vector<RecordedConsole>& consoles) {
             return options.title == "deepest" && consoles.size() == 1 &&
                    consoles[0].pipeName == "after";
         }},
    };
    ScopedEnvironment longValue("KESTRA_FAULT_LONG", std::string(200, 'v'));
    for (int i = 1; i < 200; ++i) {
        Write("i" + std::to_string(i) + ".cnf", "INCLUDE i" + std::to_string(i + 1) + ".cnf\n");
    }
    Write("i200.cnf", "Title = deepest\n");

    const std::size_t descriptors = OpenDescriptors();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetOptions();
        consoles_.clear();
        for (const auto& [name, content] : c.files) {
            Write(name, content);
        }
        Options().configFilePath = root_ + "/" + c.files.front().first;
        const std::optional<std::string> report = RunPasses();
        EXPECT_EQ(report, c.report);
        if (c.holds && !report) {
            EXPECT_TRUE(c.holds(Options(), consoles_));
        }
        EXPECT_EQ(OpenDescriptors(), descriptors) << "a file was left open";
    }
}

} // namespace
} // namespace kestra::config::testing
