#include "config/OutOfMemory.h"
#include "console/ConsoleDefinition.h"
#include "shell/ConfigBinding.h"
#include "shell/ConsoleWindowBinding.h"
#include "shell/Shell.h"

#include <memory>

int main(int argc, char** argv) {
    kestra::config::InstallOutOfMemoryHandler();
    kestra::console::InstallConsoleDefinition();
    const std::unique_ptr<kestra::shell::ShellConfiguration> configuration =
        kestra::shell::BindConfiguration();
    // Declared before the shell exists, so it outlives the shell's frame and
    // the console windows in it.
    std::unique_ptr<kestra::shell::ConsoleWindowBinding> consoleWindows;
    return kestra::shell::Start(argc, argv, *configuration, [&](kestra::shell::Shell& shell) {
        consoleWindows = std::make_unique<kestra::shell::ConsoleWindowBinding>(shell);
    });
}
