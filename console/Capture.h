#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

// Capturing what a console receives into a file: either every byte as the
// server sent it, or the text alone, one line per received line, each headed
// by the local time of its first byte. Capture files are appended to, never
// truncated, and are the user's alone. Every read's bytes are written at once
// (no buffer in the program), so the file is complete whenever the program
// ends, however it ends.
namespace kestra::console {

enum class CaptureFormat {
    Raw,  // the bytes as received, bit 7 included
    Text, // control characters and sequences removed, lines timestamped
};

// A capture file name with its fields filled in: {UNIT} becomes the console's
// unit number, {DATE} the date the capture starts (YYYY-MM-DD); case is
// ignored in the field names, and anything else stays as written. Braces keep
// clear of the configuration's %NAME% substitution.
std::string ExpandCaptureName(std::string_view pattern, unsigned unit, const std::tm& date);

// The local time of t in ISO 8601, to the millisecond, with the offset from
// UTC: 2024-03-05T14:07:09.042+01:00.
std::string LocalTimestamp(std::chrono::system_clock::time_point t);

// Turns received bytes into the text of a text capture. A line feed ends a
// line; carriage returns, the other control characters and escape sequences
// (ESC and its intermediates and final, CSI with its parameters, VT52 direct
// cursor addressing with its two coordinates) are dropped; a line begins with
// the stamp of its first byte and a blank. Bytes keep bit 7 only with keepBit7.
class TextCaptureFilter {
public:
    using Stamp = std::function<std::string()>;

    void Filter(std::span<const std::uint8_t> bytes, bool keepBit7, const Stamp& stamp,
                std::string& out);

private:
    enum class State { Text, Escape, Intermediate, Control, Vt52Row, Vt52Column };
    State state_ = State::Text;
    bool lineOpen_ = false;
};

// One console's capture: off, or a file and its format. Started and stopped
// on the window thread, written by the reader thread.
class ConsoleCapture {
public:
    ConsoleCapture() = default;
    ~ConsoleCapture() { Stop(); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Opens path (created user-only, appended to) and starts capturing into
    // it, ending a capture already running; 0, or the errno of the failure
    // (nothing is captured then).
    int Start(const std::string& path, CaptureFormat format);
    void Stop();
    bool Active() const;
    std::string Path() const;

    // The bytes of one read, as the server sent them. A failed write stops
    // the capture and returns the warning that names the file and the
    // reason; otherwise an empty text.
    std::string Record(std::span<const std::uint8_t> bytes, bool keepBit7);

private:
    mutable std::mutex mutex_;
    int descriptor_ = -1;
    CaptureFormat format_ = CaptureFormat::Raw;
    std::string path_;
    TextCaptureFilter filter_;
};

// The warnings of a capture that could not be started or went on no longer.
std::string CaptureOpenWarning(std::string_view path, int error);
std::string CaptureWriteWarning(std::string_view path, int error);

} // namespace kestra::console
