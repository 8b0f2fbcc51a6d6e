#include "termdef/KeyNames.h"

#include "parsing/AsciiText.h"
#include "parsing/Numbers.h"

#include <algorithm>
#include <cstdio>

namespace kestra::termdef {

// clang-format off
constexpr std::array<KeyName, kKeyNameCount> kKeyNameTable{{
//   name            code
    // Control characters by their Ctrl+letter names
    {"CTRLA",       0x001},
    {"CTRLB",       0x002},
    {"CTRLC",       0x003},
    {"CTRLD",       0x004},
    {"CTRLE",       0x005},
    {"CTRLF",       0x006},
    {"CTRLG",       0x007},
    {"CTRLH",       0x008},
    {"CTRLI",       0x009},
    {"CTRLJ",       0x00A},
    {"CTRLK",       0x00B},
    {"CTRLL",       0x00C},
    {"CTRLM",       0x00D},
    {"CTRLN",       0x00E},
    {"CTRLO",       0x00F},
    {"CTRLP",       0x010},
    {"CTRLQ",       0x011},
    {"CTRLR",       0x012},
    {"CTRLS",       0x013},
    {"CTRLT",       0x014},
    {"CTRLU",       0x015},
    {"CTRLV",       0x016},
    {"CTRLW",       0x017},
    {"CTRLX",       0x018},
    {"CTRLY",       0x019},
    {"CTRLZ",       0x01A},

    // Control characters by their ASCII names
    {"NUL",         0x000},
    {"SOH",         0x001},
    {"STX",         0x002},
    {"ETX",         0x003},
    {"EOT",         0x004},
    {"ENQ",         0x005},
    {"ACK",         0x006},
    {"BELL",        0x007},
    {"BSPACE",      0x008},
    {"BS",          0x008},
    {"TAB",         0x009},
    {"LF",          0x00A},
    {"VT",          0x00B},
    {"FF",          0x00C},
    {"CR",          0x00D},
    {"SO",          0x00E},
    {"SI",          0x00F},
    {"DLE",         0x010},
    {"DC1",         0x011},
    {"DC2",         0x012},
    {"DC3",         0x013},
    {"DC4",         0x014},
    {"NACK",        0x015},
    {"SYNC",        0x016},
    {"SYN",         0x016},
    {"ETB",         0x017},
    {"CAN",         0x018},
    {"EM",          0x019},
    {"SUB",         0x01A},
    {"ESC",         0x01B},
    {"FS",          0x01C},
    {"GS",          0x01D},
    {"RS",          0x01E},
    {"US",          0x01F},
    {"SPC",         0x020},
    {"SPACE",       0x020},
    {"EOS",         0x000},

    // Ctrl+Break and Shift+Tab
    {"BREAKCHAR",   0x100},
    {"BTAB",        0x10F},

    // Grey cursor and editing keys
    {"INS",         0x152},
    {"DEL",         0x153},
    {"HOME",        0x147},
    {"END",         0x14F},
    {"PGUP",        0x149},
    {"PGDN",        0x151},
    {"UP",          0x148},
    {"DOWN",        0x150},
    {"LEFT",        0x14B},
    {"RIGHT",       0x14D},

    // Their Ctrl forms
    {"CTAB",        0x194},
    {"CINS",        0x192},
    {"CDEL",        0x193},
    {"CHOME",       0x177},
    {"CEND",        0x175},
    {"CPGUP",       0x184},
    {"CPGDN",       0x176},
    {"CUP",         0x18D},
    {"CDOWN",       0x191},
    {"CLEFT",       0x173},
    {"CRIGHT",      0x174},

    // Ctrl with punctuation (the characters the PC keyboard sends)
    {"CATSIGN",     0x103},
    {"CLEFTBRKT",   0x01B},
    {"CBACKSLASH",  0x01C},
    {"CRIGHTBRKT",  0x01D},
    {"CCARET",      0x01E},
    {"CUNDERLINE",  0x01F},
    {"CBACKSPACE",  0x07F},

    // Alt with the grey cursor and editing keys
    {"AINS",        0x1A2},
    {"ADEL",        0x1A3},
    {"AHOME",       0x197},
    {"AEND",        0x19F},
    {"APGUP",       0x199},
    {"APGDN",       0x1A1},
    {"AUP",         0x198},
    {"ADOWN",       0x1A0},
    {"ALEFT",       0x19B},
    {"ARIGHT",      0x19D},

    // Alt with punctuation
    {"AESC",        0x101},
    {"ABACKSPACE",  0x10E},
    {"ALEFTBRKT",   0x11A},
    {"ARIGHTBRKT",  0x11B},
    {"AENTER",      0x11C},
    {"ASEMICOLON",  0x127},
    {"AQUOTE",      0x128},
    {"ATILDA",      0x129},
    {"ABACKSLASH",  0x12B},
    {"ACOMMA",      0x133},
    {"APERIOD",     0x134},
    {"ASLASH",      0x135},

    // Lock and system keys
    {"NUMLOCK",     0x145},
    {"SCROLLLOCK",  0x146},
    {"SYSRQ",       0x172},
    {"ALTTAB",      0x1A5},

    // Alt with letters, in keyboard rows
    {"ALTQ",        0x110},
    {"ALTW",        0x111},
    {"ALTE",        0x112},
    {"ALTR",        0x113},
    {"ALTT",        0x114},
    {"ALTY",        0x115},
    {"ALTU",        0x116},
    {"ALTI",        0x117},
    {"ALTO",        0x118},
    {"ALTP",        0x119},
    {"ALTA",        0x11E},
    {"ALTS",        0x11F},
    {"ALTD",        0x120},
    {"ALTF",        0x121},
    {"ALTG",        0x122},
    {"ALTH",        0x123},
    {"ALTJ",        0x124},
    {"ALTK",        0x125},
    {"ALTL",        0x126},
    {"ALTZ",        0x12C},
    {"ALTX",        0x12D},
    {"ALTC",        0x12E},
    {"ALTV",        0x12F},
    {"ALTB",        0x130},
    {"ALTN",        0x131},
    {"ALTM",        0x132},

    // Function keys
    {"F1",          0x13B},
    {"F2",          0x13C},
    {"F3",          0x13D},
    {"F4",          0x13E},
    {"F5",          0x13F},
    {"F6",          0x140},
    {"F7",          0x141},
    {"F8",          0x142},
    {"F9",          0x143},
    {"F10",         0x144},
    {"F11",         0x185},
    {"F12",         0x186},

    // Shift+function keys
    {"SF1",         0x154},
    {"SF2",         0x155},
    {"SF3",         0x156},
    {"SF4",         0x157},
    {"SF5",         0x158},
    {"SF6",         0x159},
    {"SF7",         0x15A},
    {"SF8",         0x15B},
    {"SF9",         0x15C},
    {"SF10",        0x15D},
    {"SF11",        0x187},
    {"SF12",        0x188},

    // Ctrl+function keys
    {"CF1",         0x15E},
    {"CF2",         0x15F},
    {"CF3",         0x160},
    {"CF4",         0x161},
    {"CF5",         0x162},
    {"CF6",         0x163},
    {"CF7",         0x164},
    {"CF8",         0x165},
    {"CF9",         0x166},
    {"CF10",        0x167},
    {"CF11",        0x189},
    {"CF12",        0x18A},

    // Alt+function keys
    {"AF1",         0x168},
    {"AF2",         0x169},
    {"AF3",         0x16A},
    {"AF4",         0x16B},
    {"AF5",         0x16C},
    {"AF6",         0x16D},
    {"AF7",         0x16E},
    {"AF8",         0x16F},
    {"AF9",         0x170},
    {"AF10",        0x171},
    {"AF11",        0x18B},
    {"AF12",        0x18C},

    // Ctrl+Shift+function keys (the PC keyboard gives them the Alt codes)
    {"CSF1",        0x168},
    {"CSF2",        0x169},
    {"CSF3",        0x16A},
    {"CSF4",        0x16B},
    {"CSF5",        0x16C},
    {"CSF6",        0x16D},
    {"CSF7",        0x16E},
    {"CSF8",        0x16F},
    {"CSF9",        0x170},
    {"CSF10",       0x171},
    {"CSF11",       0x18B},
    {"CSF12",       0x18C},

    // Alt with the top-row digits
    {"ALT1",        0x178},
    {"ALT2",        0x179},
    {"ALT3",        0x17A},
    {"ALT4",        0x17B},
    {"ALT5",        0x17C},
    {"ALT6",        0x17D},
    {"ALT7",        0x17E},
    {"ALT8",        0x17F},
    {"ALT9",        0x180},
    {"ALT0",        0x181},
    {"ALTDASH",     0x182},
    {"ALTEQUAL",    0x183},

    // Numeric keypad
    {"KPDSLASH",    0x22F},
    {"KPDSTAR",     0x22A},
    {"KPDDASH",     0x22D},
    {"KPDPLUS",     0x22B},
    {"KPDENTER",    0x20D},
    {"KPDONE",      0x24F},
    {"KPDTWO",      0x250},
    {"KPDTHREE",    0x251},
    {"KPDFOUR",     0x24B},
    {"KPDFIVE",     0x24C},
    {"KPDSIX",      0x24D},
    {"KPDSEVEN",    0x247},
    {"KPDEIGHT",    0x248},
    {"KPDNINE",     0x249},
    {"KPDZERO",     0x252},
    {"KPDPERIOD",   0x253},
    {"KPDINS",      0x252},
    {"KPDDEL",      0x253},
    {"KPDUP",       0x248},
    {"KPDDOWN",     0x250},
    {"KPDLEFT",     0x24B},
    {"KPDRIGHT",    0x24D},
    {"KPDHOME",     0x247},
    {"KPDPGUP",     0x249},
    {"KPDPGDN",     0x251},
    {"KPDEND",      0x24F},

    // Ctrl with the numeric keypad
    {"CKPDSLASH",   0x295},
    {"CKPDSTAR",    0x296},
    {"CKPDDASH",    0x28E},
    {"CKPDPLUS",    0x290},
    {"CKPDENTER",   0x20A},
    {"CKPDONE",     0x275},
    {"CKPDTWO",     0x291},
    {"CKPDTHREE",   0x276},
    {"CKPDFOUR",    0x273},
    {"CKPDFIVE",    0x28F},
    {"CKPDSIX",     0x274},
    {"CKPDSEVEN",   0x277},
    {"CKPDEIGHT",   0x28D},
    {"CKPDNINE",    0x284},
    {"CKPDZERO",    0x292},
    {"CKPDPERIOD",  0x293},
    {"CKPDINS",     0x292},
    {"CKPDDEL",     0x293},
    {"CKPDUP",      0x28D},
    {"CKPDDOWN",    0x291},
    {"CKPDLEFT",    0x273},
    {"CKPDRIGHT",   0x274},
    {"CKPDHOME",    0x277},
    {"CKPDPGUP",    0x284},
    {"CKPDPGDN",    0x276},
    {"CKPDEND",     0x275},

    // Alt with the keypad operators
    {"AKPDSLASH",   0x2A4},
    {"AKPDSTAR",    0x237},
    {"AKPDDASH",    0x24A},
    {"AKPDPLUS",    0x24E},
    {"AKPDENTER",   0x2A6},
}};
// clang-format on

namespace {} // namespace

std::int32_t KeyCodeFromName(std::string_view text) {
    if (std::uint32_t number = 0; parsing::ReadNumber(text, number, 8)) {
        return static_cast<std::int32_t>(number);
    }
    if (text.size() == 3 && text.front() == '"' && text.back() == '"') {
        return static_cast<signed char>(text[1]);
    }
    for (const KeyName& row : kKeyNameTable) {
        if (EqualIgnoringCase(row.name, text)) {
            return row.code;
        }
    }
    return -1;
}

std::string KeyNameFromCode(std::int32_t code) {
    for (const KeyName& row : kKeyNameTable) {
        if (row.code == code) {
            return std::string(row.name);
        }
    }
    const auto bits = static_cast<std::uint32_t>(code);
    char text[16];
    if (bits >= 0x21 && bits <= 0x7E) {
        std::snprintf(text, sizeof text, "'%c", static_cast<char>(bits));
    } else {
        std::snprintf(text, sizeof text, "0x%04X", bits);
    }
    return text;
}

} // namespace kestra::termdef
