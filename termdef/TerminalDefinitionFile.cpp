#include "termdef/TerminalDefinitionFile.h"

#include "config/ConfigLexer.h"
#include "parsing/Numbers.h"
#include "platform/Exit.h"
#include "termdef/Attributes.h"
#include "termdef/KeyNames.h"

#include <array>
#include <memory>
#include <string>

namespace kestra::termdef {

namespace {

using config::ConfigLexer;
using config::LexerError;
using config::LexerExpectEquals;
using config::LexerNextNumber;
using config::LexerNextToken;
using config::LexerNextTokenUpper;

enum class Action { Key, KeyDown, ExtendedKey, Char, IdString, ColumnMode, Type, Colour };

struct Command {
    std::string_view word;
    Action action;
    KeyMap TerminalDefinition::*keys;
    CharMap TerminalDefinition::*chars;
};

using TD = TerminalDefinition;

// Compared in this order against the upper-cased first word of each line.
// clang-format off
constexpr std::array<Command, 13> Commands{{
//   word             action               keys                 chars
    {"KEY",           Action::Key,         &TD::keyMap,         nullptr},
    {"KEYDOWN",       Action::KeyDown,     &TD::keyMap,         nullptr},
    {"AKEY",          Action::Key,         &TD::appKeyMap,      nullptr},
    {"52KEY",         Action::Key,         &TD::vt52KeyMap,     nullptr},
    {"52AKEY",        Action::Key,         &TD::vt52AppKeyMap,  nullptr},
    {"FKEY",          Action::ExtendedKey, &TD::keyMap,         nullptr},
    {"CHAR",          Action::Char,        nullptr,             &TD::charMap},
    {"GRAPHIC",       Action::Char,        nullptr,             &TD::graphicMap},
    {"IDSTRING",      Action::IdString,    nullptr,             nullptr},
    {"80COLUMNMODE",  Action::ColumnMode,  nullptr,             nullptr},
    {"132COLUMNMODE", Action::ColumnMode,  nullptr,             nullptr},
    {"TYPE",          Action::Type,        nullptr,             nullptr},
    {"COLOR",         Action::Colour,      nullptr,             nullptr},
}};
// clang-format on

// Numbers may fill an output to its limit; a text must always leave the total
// below 128, for key strings and the identification alike.
constexpr std::size_t kKeyOutputLimit = 128;
constexpr std::size_t kIdStringLimit = 127;
constexpr std::size_t kTextLimit = 128;
constexpr std::int32_t kHighestKeyCode = 767;
constexpr std::uint32_t kKeyDownBit = 0x80000000;
constexpr std::uint32_t kKeyDownCodeLimit = 0x10000000; // the top four bits must be clear
constexpr std::int32_t kExtendedKeyOffset = 0x100;

// Tokens are C strings to the readers: a 0 byte (from a "\0" escape) ends one.
std::string_view CText(std::string_view token) {
    return token.substr(0, token.find('\0'));
}

class DefinitionReader {
public:
    DefinitionReader(ConfigLexer& lexer, TerminalDefinition& definition)
        : lexer_(lexer), definition_(definition) {}

    void ReadLine() {
        if (!LexerNextTokenUpper(lexer_)) {
            return;
        }
        const std::string_view word = CText(lexer_.token);
        for (const Command& command : Commands) {
            if (command.word == word) {
                Run(command, word);
                return;
            }
        }
        LexerError(lexer_, "Invalid token");
    }

private:
    void Run(const Command& command, std::string_view word) {
        switch (command.action) {
        case Action::Key: DefineKey(definition_.*command.keys, 0, false); break;
        case Action::KeyDown: DefineKey(definition_.*command.keys, 0, true); break;
        case Action::ExtendedKey:
            DefineKey(definition_.*command.keys, kExtendedKeyOffset, false);
            break;
        case Action::Char: DefineChar(definition_.*command.chars); break;
        case Action::IdString: DefineIdString(); break;
        case Action::ColumnMode: DefineColumnMode(); break;
        case Action::Type: DefineType(); break;
        case Action::Colour: DefineColour(); break;
        }
    }

    // Every word after the "=": a number (octal unless marked) is one byte,
    // anything else its characters. The word is read before the limit is
    // checked, so the report marks the word that does not fit.
    std::string ReadBytes(bool upper, std::size_t limit, const char* tooLong) {
        std::string bytes;
        while (upper ? LexerNextTokenUpper(lexer_) : LexerNextToken(lexer_)) {
            const std::string_view word = CText(lexer_.token);
            if (bytes.size() >= limit) {
                LexerError(lexer_, "%s", tooLong);
            }
            if (std::uint16_t number = 0; parsing::ReadNumber16(word, number, 8)) {
                bytes.push_back(static_cast<char>(number & 0xFF));
            } else if (bytes.size() + word.size() >= kTextLimit) {
                LexerError(lexer_, "%s", tooLong);
            } else {
                bytes.append(word);
            }
        }
        return bytes;
    }

    void DefineKey(KeyMap& map, std::int32_t offset, bool keyDown) {
        if (!LexerNextTokenUpper(lexer_)) {
            LexerError(lexer_, "Expected a key value");
        }
        std::int32_t code = KeyCodeFromName(CText(lexer_.token));
        const bool valid = keyDown ? static_cast<std::uint32_t>(code) < kKeyDownCodeLimit
                                   : code >= 0 && code <= kHighestKeyCode;
        if (!valid) {
            LexerError(lexer_, "Invalid key value");
        }
        code = keyDown ? static_cast<std::int32_t>(static_cast<std::uint32_t>(code) | kKeyDownBit)
                       : code + offset;
        if (KeyMapFind(map, code) != nullptr) {
            LexerError(lexer_, "Key code %04X (%s) already defined", static_cast<unsigned>(code),
                       KeyNameFromCode(code).c_str());
        }
        LexerExpectEquals(lexer_);
        const std::string bytes = ReadBytes(true, kKeyOutputLimit, "Output string too long");
        if (bytes.empty()) {
            LexerError(lexer_, "Expected key codes");
        }
        if (!keyDown) {
            KeyMapPut(map, code, bytes);
            return;
        }
        // The string goes under an identifier of its own; the key-down code
        // sends the identifier, low byte first.
        const std::uint32_t id = definition_.nextKeyDownId++;
        KeyMapPut(map, static_cast<std::int32_t>(id), bytes);
        const char idBytes[] = {static_cast<char>(id & 0xFF), static_cast<char>((id >> 8) & 0xFF)};
        KeyMapPut(map, code, std::string_view(idBytes, 2));
    }

    void DefineChar(CharMap& map) {
        const auto code = static_cast<std::int32_t>(LexerNextNumber(lexer_, 8));
        if (code > 255) {
            LexerError(lexer_, "Must be less than 256");
        }
        if (CharMapFind(map, code) != nullptr) {
            LexerError(lexer_, "Character code %02X(hex) already defined",
                       static_cast<unsigned>(code));
        }
        LexerExpectEquals(lexer_);
        CharMapPut(map, code, LexerNextNumber(lexer_, 8));
    }

    void DefineIdString() {
        LexerExpectEquals(lexer_);
        const std::string bytes = ReadBytes(false, kIdStringLimit, "I.D. string too long");
        if (bytes.empty()) {
            LexerError(lexer_, "Expected I.D. bytes");
        }
        // The reply is sent up to its first 0 byte.
        definition_.idString = std::string(CText(bytes));
    }

    // The column mode codes are checked and not kept: a width switch needs
    // no code of the definition's.
    void DefineColumnMode() {
        LexerExpectEquals(lexer_);
        if (LexerNextNumber(lexer_, 10) > 127) {
            LexerError(lexer_, "Must be less than 128 or 0x80");
        }
    }

    void DefineType() {
        LexerExpectEquals(lexer_);
        if (!LexerNextTokenUpper(lexer_)) {
            LexerError(lexer_, "Expected terminal type");
        }
        const std::string_view type = CText(lexer_.token);
        if (type == "VT52") {
            definition_.vt52Type = true;
        } else if (type == "GENRAD") {
            definition_.genradType = true;
        } else if (type == "VT100") {
            definition_.vt52Type = false; // GENRAD stays as it was
        } else {
            LexerError(lexer_, "Invalid terminal type");
        }
    }

    // The joined words grow as needed: a line of at most 254 characters
    // always fits, so no line is refused for its length.
    void DefineColour() {
        std::string vt100Side;
        for (;;) {
            if (!LexerNextTokenUpper(lexer_)) {
                LexerError(lexer_, "Missing =");
            }
            if (lexer_.token == "=") {
                break;
            }
            vt100Side.append(CText(lexer_.token)).push_back(' ');
        }
        const std::int32_t combination = ParseVt100Attribute(vt100Side);
        if (combination == -1 || combination > 15) {
            LexerError(lexer_, "Invalid VT100 attribute");
        }
        std::string screenSide;
        while (LexerNextTokenUpper(lexer_)) {
            screenSide.append(CText(lexer_.token)).push_back(' ');
        }
        const std::int32_t colour = ParseScreenAttribute(screenSide);
        if (colour == -1) {
            LexerError(lexer_, "Invalid screen attribute");
        }
        for (int high = 0; high < 16; ++high) {
            definition_.colours[high * 16 + combination] = static_cast<std::uint8_t>(colour & 0xFF);
        }
    }

    ConfigLexer& lexer_;
    TerminalDefinition& definition_;
};

} // namespace

TerminalDefinition& TheTerminalDefinition() {
    static TerminalDefinition definition;
    return definition;
}

void ResetTerminalDefinition() {
    TheTerminalDefinition() = TerminalDefinition{};
}

const TerminalDefinition& LoadTerminalDefinition(std::string_view fileName) {
    TerminalDefinition& definition = TheTerminalDefinition();
    if (definition.loaded) {
        return definition;
    }
    definition = TerminalDefinition{};
    if (fileName.empty()) {
        fileName = "VT100.CNF";
    }

    std::unique_ptr<ConfigLexer> lexer;
    config::LexerCreate(lexer);
    // Destroys the chain on every way out, a test's captured error included.
    struct Destroy {
        std::unique_ptr<ConfigLexer>& lexer;
        ~Destroy() { config::LexerDestroy(lexer); }
    } destroy{lexer};
    config::ApplyDefinitionFileSettings(*lexer);
    if (!config::LexerOpen(*lexer, fileName)) {
        const std::string name(fileName);
        platform::Fatal("Can't open configuration file: %s", name.c_str());
    }
    DefinitionReader reader(*lexer, definition);
    while (config::LexerReadLine(*lexer)) {
        reader.ReadLine();
    }
    config::LexerClose(*lexer);
    definition.loaded = true;
    return definition;
}

} // namespace kestra::termdef
