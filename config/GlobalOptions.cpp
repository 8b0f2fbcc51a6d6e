#include "config/GlobalOptions.h"

namespace kestra::config {

std::string GlobalOptions::PropertiesSubKey() const {
    if (propertiesKey.size() > kDefaultPropertiesKey.size() + 1 &&
        std::string_view(propertiesKey).starts_with(kDefaultPropertiesKey) &&
        propertiesKey[kDefaultPropertiesKey.size()] == '\\') {
        return propertiesKey.substr(kDefaultPropertiesKey.size() + 1);
    }
    return {};
}

GlobalOptions& Options() {
    static GlobalOptions options;
    return options;
}

void ResetOptions() {
    Options() = GlobalOptions();
}

} // namespace kestra::config
