#include "console/Capture.h"

#include "emulator/ControlCharacters.h"
#include "parsing/AsciiText.h"
#include "platform/SystemError.h"
#include "platform/UserFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kestra::console {

namespace {

using emulator::kEsc;
using emulator::kHt;
using emulator::kLf;
constexpr std::uint8_t kDelete = 0x7F;

bool IsIntermediate(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x2F;
}

} // namespace

std::string ExpandCaptureName(std::string_view pattern, unsigned unit, const std::tm& date) {
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &date);
    const std::pair<std::string_view, std::string> fields[] = {{"{UNIT}", std::to_string(unit)},
                                                               {"{DATE}", day}};
    std::string name;
    while (!pattern.empty()) {
        bool expanded = false;
        for (const auto& [field, value] : fields) {
            if (pattern.size() >= field.size() &&
                EqualIgnoringCase(pattern.substr(0, field.size()), field)) {
                name += value;
                pattern.remove_prefix(field.size());
                expanded = true;
                break;
            }
        }
        if (!expanded) {
            name += pattern.front();
            pattern.remove_prefix(1);
        }
    }
    return name;
}

std::string LocalTimestamp(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    char zone[8];
    std::strftime(zone, sizeof zone, "%z", &local); // +hhmm
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s.%03d%.3s:%.2s", date,
                  static_cast<int>(milliseconds < 0 ? milliseconds + 1000 : milliseconds), zone,
                  zone + 3);
    return stamp;
}

void TextCaptureFilter::Filter(std::span<const std::uint8_t> bytes, bool keepBit7,
                               const Stamp& stamp, std::string& out) {
    for (std::uint8_t byte : bytes) {
        if (!keepBit7) {
            byte &= 0x7F;
        }
        if (!lineOpen_) {
            out += stamp();
            out += ' ';
            lineOpen_ = true;
        }
        // A line feed ends the line even inside a sequence, as control
        // characters act inside sequences on the terminal.
        if (byte == kLf) {
            out += '\n';
            lineOpen_ = false;
            continue;
        }
        switch (state_) {
        case State::Text:
            if (byte == kEsc) {
                state_ = State::Escape;
            } else if (byte == kHt || (byte >= 0x20 && byte != kDelete)) {
                if (byte < 0x80 || byte >= 0xA0) {
                    out += static_cast<char>(byte);
                }
            }
            break;
        case State::Escape:
            if (byte == '[') {
                state_ = State::Control;
            } else if (byte == 'Y') {
                state_ = State::Vt52Row;
            } else if (IsIntermediate(byte)) {
                state_ = State::Intermediate;
            } else if (byte >= 0x30) {
                state_ = State::Text;
            }
            break;
        case State::Intermediate:
        case State::Control:
            if (byte >= 0x40 || (state_ == State::Intermediate && byte >= 0x30)) {
                state_ = State::Text;
            } else if (byte == kEsc) {
                state_ = State::Escape;
            }
            break;
        case State::Vt52Row: state_ = State::Vt52Column; break;
        case State::Vt52Column: state_ = State::Text; break;
        }
    }
}

int ConsoleCapture::Start(const std::string& path, CaptureFormat format) {
    const int descriptor = platform::OpenUserFile(path, O_WRONLY | O_APPEND);
    if (descriptor < 0) {
        return errno;
    }
    std::lock_guard held(mutex_);
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
    descriptor_ = descriptor;
    format_ = format;
    path_ = path;
    filter_ = {};
    return 0;
}

void ConsoleCapture::Stop() {
    std::lock_guard held(mutex_);
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

bool ConsoleCapture::Active() const {
    std::lock_guard held(mutex_);
    return descriptor_ >= 0;
}

std::string ConsoleCapture::Path() const {
    std::lock_guard held(mutex_);
    return path_;
}

std::string ConsoleCapture::Record(std::span<const std::uint8_t> bytes, bool keepBit7) {
    std::lock_guard held(mutex_);
    if (descriptor_ < 0) {
        return {};
    }
    int error = 0;
    if (format_ == CaptureFormat::Raw) {
        error = platform::WriteAll(descriptor_,
                                   {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    } else {
        std::string text;
        filter_.Filter(
            bytes, keepBit7, [] { return LocalTimestamp(std::chrono::system_clock::now()); }, text);
        error = platform::WriteAll(descriptor_, text);
    }
    if (error == 0) {
        return {};
    }
    ::close(descriptor_);
    descriptor_ = -1;
    return CaptureWriteWarning(path_, error);
}

std::string CaptureOpenWarning(std::string_view path, int error) {
    return "Can't capture to " + std::string(path) + ": " + platform::SystemErrorTextOrCode(error);
}

std::string CaptureWriteWarning(std::string_view path, int error) {
    return "Capture to " + std::string(path) +
           " stopped: " + platform::SystemErrorTextOrCode(error);
}

} // namespace kestra::console
