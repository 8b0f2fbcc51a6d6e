#include "config/StartupConfiguration.h"

#include "config/ConfigHooks.h"
#include "config/ConfigInterpreter.h"
#include "config/GlobalOptions.h"

namespace kestra::config {
namespace {

void SetFrameTitle(const std::string& caption) {
    if (const auto& setFrameTitle = Hooks().setFrameTitle) {
        setFrameTitle(caption);
    }
}

} // namespace

void ConfigureAtStartup() {
    const GlobalOptions& options = Options();
    // The file's name stands in the caption while it is read, so that a
    // report about it is seen with its name.
    SetFrameTitle(options.configFilePath ? "KESTRA [" + *options.configFilePath + "]"
                                         : std::string("KESTRA"));
    ConfigPass(1);
    ConfigPass(2);
    if (options.title) {
        SetFrameTitle(*options.title);
    }
    if (const auto& showSplash = Hooks().showSplash) {
        showSplash();
    }
    // Critical-error boxes do not exist here; the priority is all that is left.
    if (const auto& setPriorityClass = Hooks().setPriorityClass) {
        setPriorityClass(options.priorityClassValue);
    }
}

} // namespace kestra::config
