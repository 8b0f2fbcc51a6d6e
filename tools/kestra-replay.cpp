// kestra-replay: feeds bytes to one console's emulator as a server would and
// prints the resulting screen, so that what a server sends can be examined
// without a window.

#include "emulator/ReplaySession.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kestra::emulator::ReplayOptions;
using kestra::emulator::ReplaySession;

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
  --8bit          keep bit 7 of every byte, as the 8BIT console option does;
                  otherwise it is cleared
  --termdef FILE  the terminal definition file (default: VT100.CNF, found
                  as the terminal finds it: in the current directory, else
                  in the directories of $CNF, else in those of $PATH)
  --keys LIST     key codes typed after the input, separated by commas, in
                  the program's notation: octal unless written 0x... (hex)
                  or with a trailing '.' (decimal); e.g. --keys 015,0x13B
  --reset         the console's Reset after the input, before the keys
  --help          this text

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
  L|TEXT                   one line per row: L is the line size (0 single,
                           1 double width, 2 and 3 double-height top and
                           bottom); TEXT the row's cells without trailing
                           blanks, \ written \\, codes outside 0x20-0x7E
                           written \u{XXXX}
  aROW|HHHH...             for each row holding attributes: one hex digit
                           per cell, trailing zeros removed
)";

int Usage(const std::string& message) {
    std::cerr << "kestra-replay: " << message << "\n"
              << "Try 'kestra-replay --help' for more information.\n";
    return 2;
}

std::optional<std::string> ReadInput(const std::string& name) {
    if (name == "-") {
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    }
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), {});
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
    bool reset = false;
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
        } else if (arg == "--8bit") {
            options.eightBit = true;
        } else if (arg == "--reset") {
            reset = true;
        } else if (arg == "--termdef") {
            if (!value(options.termdef) || options.termdef.empty()) {
                return Usage("--termdef needs a file name");
            }
        } else if (arg == "--keys") {
            if (!value(text) || !kestra::emulator::ParseKeyList(text, keys)) {
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
    // Read everything first: a missing file must not leave a half-fed screen.
    std::vector<std::string> inputs;
    for (const std::string& name : files) {
        std::optional<std::string> bytes = ReadInput(name);
        if (!bytes) {
            std::cerr << "kestra-replay: can't open " << name << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
        inputs.push_back(std::move(*bytes));
    }

    ReplaySession session(options);
    for (const std::string& bytes : inputs) {
        session.Receive(bytes);
    }
    if (reset) {
        session.Reset();
    }
    for (std::int32_t code : keys) {
        session.Type(code);
    }
    for (const std::string& line : session.Describe()) {
        std::cout << line << "\n";
    }
    return 0;
}
