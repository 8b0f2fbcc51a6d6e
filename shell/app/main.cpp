#include "config/OutOfMemory.h"
#include "console/ConsoleDefinition.h"
#include "shell/ConfigBinding.h"
#include "shell/Shell.h"

int main(int argc, char** argv) {
    kestra::config::InstallOutOfMemoryHandler();
    kestra::console::InstallConsoleDefinition();
    const std::unique_ptr<kestra::shell::ShellConfiguration> configuration =
        kestra::shell::BindConfiguration();
    return kestra::shell::Start(argc, argv, *configuration);
}
