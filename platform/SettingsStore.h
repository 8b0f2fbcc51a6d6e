#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestra::platform {

// The store behind the user's preferences: named text values under one key.
// Reading a value that is missing, unreadable or longer than kMaxValue gives
// nothing; writing never fails loudly: a store that cannot be written saves
// nothing and the program goes on.
class SettingsStore {
public:
    static constexpr std::size_t kMaxValue = 80;

    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> Read(std::string_view name) = 0;
    virtual void Write(std::string_view name, std::string_view value) = 0;
    // Makes the writes so far durable, replacing the stored file whole;
    // returns false when that could not be done.
    virtual bool Commit() = 0;
};

} // namespace kestra::platform
