// kestra-check: checks a KESTRA start-up without opening a window. It reads
// the command line and runs both passes of the configuration exactly as the
// terminal does at start-up (terminal definition file and connections to the
// servers included), as the kestra program installed beside it, so that its
// defaults, its searches and its help text are the terminal's. Then it lists
// the consoles and closes their connections again.
//
// Success: "console UNIT ROWSxCOLS PIPEPATH NAME" per console, in the order
// they were defined, exit status 0. Failure: the text that the Fatal Error or
// Command Line Help dialog would show, on standard error, exit status 255.

#include "config/CommandLine.h"
#include "config/ConfigHooks.h"
#include "config/OutOfMemory.h"
#include "config/StartupConfiguration.h"
#include "console/ConsoleDefinition.h"
#include "console/ConsoleTable.h"
#include "console/WindowLink.h"
#include "platform/Exit.h"
#include "platform/Process.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kestra::console::ConsoleRecord;

constexpr const char* HelpText = R"(Usage: kestra-check [ARGUMENTS AS FOR kestra]

Checks a KESTRA start-up without opening a window: reads the command line and
both passes of the configuration file exactly as kestra does (the terminal
definition file and the connections to the servers included), lists the
consoles, and closes the connections again. It stands in for the kestra
installed beside it, so the default configuration file and the searches are
kestra's.

  kestra-check                  check the default configuration file
  kestra-check /C:FILE          check FILE
  kestra-check PIPE1 PIPE2 ...  check consoles on the pipes named
  kestra-check /H               print kestra's own command-line help

On success it prints one line per console, in the order of definition:
  console UNIT ROWSxCOLS PIPEPATH NAME
and exits with status 0. On failure it prints the message that kestra's Fatal
Error or Command Line Help dialog would show on standard error and exits with
status 255.

  --help     display this help and exit
  --version  display the version and exit
(These two take the place of pipes named --help and --version.)
)";

// The two GNU options are answered here; everything else is kestra's command
// line. A first argument that is no switch would otherwise name a pipe, and
// no real server is called --help.
bool AnswerInformationOption(const std::vector<std::string_view>& arguments) {
    if (std::ranges::find(arguments, "--help") != arguments.end()) {
        std::fputs(HelpText, stdout);
        return true;
    }
    if (std::ranges::find(arguments, "--version") != arguments.end()) {
        std::puts("kestra-check " KESTRA_VERSION);
        return true;
    }
    return false;
}

// A frame that creates no windows: it notes each console with the grid its
// window would get.
class ListingFrame : public kestra::console::ConsoleFrameLink {
public:
    struct Entry {
        ConsoleRecord* record;
        unsigned rows;
        unsigned columns;
    };

    void RegisterConsole(ConsoleRecord& record, unsigned rows, unsigned columns) override {
        entries.push_back({&record, rows, columns});
    }
    void Beep() override {}

    std::vector<Entry> entries;
};

// The terminal program this one stands in for: "kestra" in this program's
// directory.
std::string TerminalProgramPath() {
    const std::string directory = kestra::platform::ExecutableDirectory();
    return directory.empty() ? std::string("kestra") : directory + "/kestra";
}

} // namespace

int main(int argc, char** argv) {
    if (AnswerInformationOption({argv + std::min(argc, 1), argv + argc})) {
        return 0;
    }
    kestra::config::InstallOutOfMemoryHandler();
    // As after the terminal's start-up: reports mark the offending word with
    // the character that the dialog, and standard error, show as a blank.
    kestra::platform::SetLineMarker(kestra::platform::kShownLineMarker);

    ListingFrame frame;
    kestra::console::TheWindowSide().SetFrame(&frame);
    kestra::console::InstallConsoleDefinition();
    // Checking changes nothing about this process: the priority stays.
    kestra::config::Hooks().setPriorityClass = nullptr;

    std::vector<std::string> arguments{TerminalProgramPath()};
    arguments.insert(arguments.end(), argv + std::min(argc, 1), argv + argc);
    kestra::config::ParseCommandLine(arguments);
    kestra::config::ConfigureAtStartup();

    for (const ListingFrame::Entry& entry : frame.entries) {
        std::printf("console %u %ux%u %s %s\n", unsigned{entry.record->unit}, entry.rows,
                    entry.columns, entry.record->pipePath.c_str(), entry.record->unitName.c_str());
    }
    std::fflush(stdout);
    // Stops the readers and closes every connection.
    kestra::console::Consoles().Reset();
    kestra::console::TheWindowSide().SetFrame(nullptr);
    return 0;
}
