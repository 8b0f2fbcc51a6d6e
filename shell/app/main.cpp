#include "config/OutOfMemory.h"
#include "shell/ConfigBinding.h"
#include "shell/Shell.h"

int main(int argc, char** argv) {
    kestra::config::InstallOutOfMemoryHandler();
    const std::unique_ptr<kestra::shell::ShellConfiguration> configuration =
        kestra::shell::BindConfiguration();
    return kestra::shell::Start(argc, argv, *configuration);
}
