// A settings store whose values are the input: the first byte is the show
// command the program starts with, the rest is cut at NUL bytes into the
// "Window", "Font", "Properties" and one console's value (an empty piece is
// a missing value; the store gives nothing for values of more than 80
// characters, as the real one does). Loading never takes a frame placement
// that is not exactly six numbers, never makes the font face longer than 31
// characters, and what is saved loads back to the same preferences.

#include "FuzzSupport.h"
#include "console/Properties.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace {

using namespace kestra::console;
using kestra::fuzz::Require;

class MemoryStore : public kestra::platform::SettingsStore {
public:
    std::optional<std::string> Read(std::string_view name) override {
        const auto found = values.find(std::string(name));
        if (found == values.end() || found->second.empty() || found->second.size() > kMaxValue) {
            return std::nullopt;
        }
        return found->second;
    }
    void Write(std::string_view name, std::string_view value) override {
        values[std::string(name)] = std::string(value);
    }
    bool Commit() override { return true; }

    std::map<std::string, std::string> values;
};

constexpr const char* kConsoleName = "\\\\.\\pipe\\PIPE1";

std::string Saved(const Properties& properties) {
    return FormatProperties(properties) + "|" + properties.fontFace;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const int startShowCommand = data[0] % 12;
    const std::vector<std::string> pieces = kestra::fuzz::SplitAtNul(data + 1, size - 1, 4);
    MemoryStore store;
    const char* names[] = {"Window", "Font", "Properties", kConsoleName};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        store.values[names[i]] = pieces[i];
    }

    const FramePlacement before{kShowNormal, false, Rect{1, 2, 3, 4}};
    FramePlacement frame = before;
    Properties properties;
    LoadProperties(store, startShowCommand, frame, properties);
    Require(properties.fontFace.size() <= kMaxFontFace, "font face longer than 31");
    const auto window = store.Read("Window");
    const auto placement = window ? ParseFramePlacement(*window) : std::nullopt;
    if (placement) {
        Require(frame.normal == placement->normal, "saved frame rectangle not taken");
        Require(frame.showCommand == StartingShowCommand(startShowCommand, placement->showCommand),
                "show command");
        Require(frame.showCommand != kShowMinimized || startShowCommand == kShowMinimized,
                "a frame saved minimised came back minimised");
    } else {
        Require(frame == before, "an invalid Window value changed the frame");
    }

    // What is saved loads back unchanged, and stays readable.
    MemoryStore saved;
    SaveFrameAndProperties(saved, frame, properties);
    for (const auto& [name, value] : saved.values) {
        Require(value.size() <= MemoryStore::kMaxValue, "saved value too long to read back", value);
    }
    FramePlacement reloadedFrame;
    Properties reloaded;
    LoadProperties(saved, kShowNormal, reloadedFrame, reloaded);
    Require(Saved(reloaded) == Saved(properties), "preferences changed through a save",
            Saved(reloaded) + " / " + Saved(properties));
    Require(reloadedFrame.normal == frame.normal &&
                reloadedFrame.consolesMaximized == frame.consolesMaximized,
            "frame placement changed through a save");

    if (const auto text = store.Read(kConsoleName)) {
        if (const auto console = ParseConsolePlacement(*text)) {
            const std::string formatted = FormatConsolePlacement(*console);
            Require(ParseConsolePlacement(formatted) == console, "console placement round trip",
                    formatted);
        }
    }
    return 0;
}
