#pragma once

// Allocation never hands a failure to its caller: running out of memory ends
// the program with one message, wherever it happens.
namespace kestra::config {

// Ends the program with "Out of memory".
[[noreturn]] void OutOfMemory();

// Makes a failed allocation anywhere in the program (every new, and so every
// standard container) end it through OutOfMemory instead of throwing. Start-up
// installs it first.
void InstallOutOfMemoryHandler();

} // namespace kestra::config
