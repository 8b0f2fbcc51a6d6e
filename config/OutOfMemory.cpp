#include "config/OutOfMemory.h"

#include "platform/Exit.h"

#include <new>

namespace kestra::config {

void OutOfMemory() {
    platform::Fatal("Out of memory");
}

void InstallOutOfMemoryHandler() {
    std::set_new_handler([] { OutOfMemory(); });
}

} // namespace kestra::config
