#include "platform/WakeUpSignal.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kestra::platform {

WakeUpSignal::WakeUpSignal() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        creationError_ = errno;
        return;
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
}

WakeUpSignal::~WakeUpSignal() {
    if (readEnd_ >= 0) {
        close(readEnd_);
    }
    if (writeEnd_ >= 0) {
        close(writeEnd_);
    }
}

void WakeUpSignal::Raise() const {
    if (writeEnd_ < 0) {
        return;
    }
    const char byte = 1;
    // A full pipe already wakes the reader, so EAGAIN loses nothing.
    while (write(writeEnd_, &byte, 1) < 0 && errno == EINTR) {
    }
}

void WakeUpSignal::Clear() const {
    if (readEnd_ < 0) {
        return;
    }
    std::array<char, 64> sink;
    for (;;) {
        ssize_t got = read(readEnd_, sink.data(), sink.size());
        if (got > 0) {
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
}

} // namespace kestra::platform
