#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The telnet protocol of a console reached through a console server in
// telnet mode. Received commands never reach the emulator: option requests
// are answered (the console sends and takes binary data, suppresses go-ahead
// and lets the server echo; every other option is refused), subnegotiations
// and the other commands are dropped, and IAC IAC is one data byte 255. Data
// for the server has each 255 doubled.
namespace kestra::console {

inline constexpr std::uint8_t kTelnetIac = 255;

class TelnetFilter {
public:
    // Splits received bytes into data (appended to data) and the answers the
    // console owes the server (appended to replies). A command cut by the end
    // of a read goes on with the next one.
    void Receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                 std::vector<std::uint8_t>& replies);

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationIac };
    void Negotiate(std::uint8_t option, std::vector<std::uint8_t>& replies);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    // Options in effect: those the console performs, those the server does.
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
};

// A data byte as it goes to a telnet server: 255 becomes IAC IAC.
void AppendTelnetData(std::uint8_t byte, std::vector<std::uint8_t>& out);

} // namespace kestra::console
