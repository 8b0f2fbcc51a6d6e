// kestra-replay: feeds bytes to one console's emulator as a server would and
// prints the resulting screen, so that what a server sends can be examined
// without a window.

#include "config/GlobalOptions.h"
#include "console/ConsoleRecord.h"
#include "console/PipeLink.h"
#include "console/RecordingWindow.h"
#include "emulator/ReplaySession.h"
#include "parsing/Numbers.h"
#include "termdef/TerminalDefinitionFile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kestra::emulator::ReplayOptions;
using kestra::emulator::ReplaySession;

constexpr std::size_t kReadSize = 4096; // what a console's reader takes at once

constexpr const char* HelpText = R"(Usage: kestra-replay [options] [FILE...]

Feeds the bytes of the files (standard input when none is given, or for "-")
to one console's terminal emulator, exactly as a server's output would reach
it, then prints the screen and the terminal's state. Use it to see what a
server sends: record the server's output to a file (for example with
"script" or "nc -l > out"), replay it, and compare the screen.

Options:
  --rows N        rows of the console, 2 to 254 (default 24)
  --width W       columns, 80 or 132 (default 80)
  --autowrap      start with auto-wrap on, as the AUTOWRAP console option does
  --vt102         a VT102 console, as the VT102 console option makes it:
                  DEC's pending wrap, origin mode, insert and delete, and
                  the VT102's reports; starts with auto-wrap on. The output
                  gains a line after "modes":
                  vt102 pending=B insert=B reverse=B
  --8bit          keep bit 7 of every byte, as the 8BIT console option does;
                  otherwise it is cleared
  --termdef FILE  the terminal definition file (default: VT100.CNF, found
                  as the terminal finds it: in the current directory, else
                  in the directories of $CNF, else in those of $PATH)
  --keys LIST     key codes typed after the input, separated by commas, in
                  the program's notation: octal unless written 0x... (hex)
                  or with a trailing '.' (decimal); e.g. --keys 015,0x13B
  --reset         the console's Reset after the input, before the keys
  --requests      also print the repaint requests and resize notices that the
                  console would post to its window; each FILE is one burst
                  of the server's that ends with the pipe running dry
  --history       keep the lines that scroll off the top (as many as a
                  console keeps by default) and print them before the rows
  --help          display this help and exit
  --version       display the version and exit

Output, in this order:
  size ROWS COLS
  cursor ROW COL VISIBLE   the shown cursor, 0-based; VISIBLE 0 or 1
  region TOP BOTTOM        the scroll region, 0-based, inclusive
  modes vt52=B genrad=B keypad=B newline=B origin=B autowrap=B scrolling=B
        g0=N g1=N shift=B spaced=B
                           (one line; g0/g1: 1 ASCII, 2 special graphics)
  attr XX                  the current attribute (1 blink, 2 reverse,
                           4 underline, 8 bold), two hex digits
  bells N                  bell characters received
  sent XX XX ...           every byte the terminal wrote back (replies and
                           keys), in hex; "-" when none
  hL|TEXT                  with --history, one line per kept line, oldest
                           first, in the form of the rows' lines
  L|TEXT                   one line per row: L is the line size (0 single,
                           1 double width, 2 and 3 double-height top and
                           bottom); TEXT the row's cells without trailing
                           blanks, \ written \\, codes outside 0x20-0x7E
                           written \u{XXXX}
  aROW|HHHH...             for each row holding attributes: one hex digit
                           per cell, trailing zeros removed
With --requests, then, in posting order:
  repaint KIND LEFT TOP RIGHT BOTTOM
                           KIND 0 everything, 1 the rectangle after a
                           scroll, a line size change or a flush (the
                           selection goes), 2 the rectangle collected by the
                           reader (the selection stays); columns and rows
                           0-based, inclusive
  resize ROWS COLS         the grid changed size
The window exists before the first byte arrives and has shown the screen as
the console's definition left it.

Exit status: 0 when the screen was printed, 1 when a file cannot be read,
2 for bad arguments, 255 for an error in the terminal definition file (its
report goes to standard error).
)";

int Usage(const std::string& message) {
    std::cerr << "kestra-replay: " << message << "\n"
              << "Try 'kestra-replay --help' for more information.\n";
    return 2;
}

// The console's side of the emulator, as the reader drives it, with a window
// that writes down what it is asked to show.
class RequestRecorder {
public:
    RequestRecorder(ReplaySession& session, const ReplayOptions& options) : window_(record_) {
        record_.eightBit = options.eightBit;
        record_.width = static_cast<std::uint16_t>(options.width);
        // The session keeps the bytes sent and the bells; the console takes
        // the screen's notifications.
        kestra::console::ConnectScreen(record_, session.emulator());
        record_.history.SetCapacity(options.historyLines);
        record_.screen->attached = 1;
        record_.screen->RefreshScreen();
        kestra::console::AttachWindow(record_, window_);
        // A new window paints the whole screen: nothing collected before it
        // existed is owed.
        record_.dirtyCount = 0;
    }

    // A piece of a burst; the pipe runs dry after the last one.
    void Receive(std::string_view bytes, bool dry) {
        std::unique_lock held(record_.lock);
        kestra::console::ReceiveBytes(
            record_, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, held);
        if (dry) {
            kestra::console::RepaintWhenIdle(record_, held);
        }
    }

    std::vector<std::string> Lines() const { return window_.Lines(); }
    const kestra::emulator::ScreenHistory& History() const { return record_.history; }

private:
    kestra::console::ConsoleRecord record_;
    kestra::console::RecordingWindow window_;
};

// An input opened before anything is fed, so that a missing file does not
// leave a half-fed screen.
std::FILE* OpenInput(const std::string& name) {
    return name == "-" ? stdin : std::fopen(name.c_str(), "rb");
}

bool ParseUnsigned(const std::string& text, unsigned& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    value = static_cast<unsigned>(std::stoul(text));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ReplayOptions options;
    std::string definitionFile; // empty: VT100.CNF, found as usual
    bool reset = false;
    bool requests = false;
    std::vector<std::int32_t> keys;
    std::vector<std::string> files;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            std::cout << HelpText;
            return 0;
        } else if (arg == "--version") {
            std::cout << "kestra-replay " KESTRA_VERSION "\n";
            return 0;
        } else if (arg == "--rows") {
            if (!value(text) || !ParseUnsigned(text, options.rows) || options.rows < 2 ||
                options.rows > 254) {
                return Usage("--rows needs a number from 2 to 254");
            }
        } else if (arg == "--width") {
            if (!value(text) || !ParseUnsigned(text, options.width) ||
                (options.width != 80 && options.width != 132)) {
                return Usage("--width needs 80 or 132");
            }
        } else if (arg == "--autowrap") {
            options.autowrap = true;
        } else if (arg == "--vt102") {
            options.vt102 = true;
        } else if (arg == "--8bit") {
            options.eightBit = true;
        } else if (arg == "--reset") {
            reset = true;
        } else if (arg == "--requests") {
            requests = true;
        } else if (arg == "--history") {
            options.historyLines = kestra::config::kDefaultHistoryLines;
        } else if (arg == "--termdef") {
            if (!value(definitionFile) || definitionFile.empty()) {
                return Usage("--termdef needs a file name");
            }
        } else if (arg == "--keys") {
            if (!value(text) || !kestra::parsing::ReadNumberList(text, 8, keys)) {
                return Usage("--keys needs key codes separated by commas, e.g. 015,0x13B");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return Usage("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        files.push_back("-");
    }
    std::vector<std::FILE*> inputs;
    for (const std::string& name : files) {
        std::FILE* input = OpenInput(name);
        if (input == nullptr) {
            std::cerr << "kestra-replay: can't open " << name << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
        inputs.push_back(input);
    }

    ReplaySession session(options, kestra::termdef::LoadTerminalDefinition(definitionFile));
    std::optional<RequestRecorder> recorder;
    if (requests) {
        recorder.emplace(session, options);
    }
    // In pieces of the size the console's reader takes from its pipe.
    std::array<char, kReadSize> piece;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::size_t count = 0;
        do {
            count = std::fread(piece.data(), 1, piece.size(), inputs[i]);
            const std::string_view bytes(piece.data(), count);
            if (recorder) {
                recorder->Receive(bytes, count < piece.size());
            } else {
                session.Receive(bytes);
            }
        } while (count == piece.size());
        if (std::ferror(inputs[i])) {
            std::cerr << "kestra-replay: can't read " << files[i] << "\n";
            return 1;
        }
    }
    if (reset) {
        session.Reset();
    }
    for (std::int32_t code : keys) {
        session.Type(code);
    }
    if (recorder) {
        session.history() = recorder->History(); // the console took the lines
    }
    for (const std::string& line : session.Describe()) {
        std::cout << line << "\n";
    }
    if (recorder) {
        for (const std::string& line : recorder->Lines()) {
            std::cout << line << "\n";
        }
    }
    return 0;
}
