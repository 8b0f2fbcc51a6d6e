#include "console/Telnet.h"

namespace kestra::console {

namespace {

// Commands (RFC 854).
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kDont = 254;

// Options.
constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kEcho = 1;
constexpr std::uint8_t kSuppressGoAhead = 3;

// What the console agrees to perform itself (answering DO), and what it
// lets the server perform (answering WILL).
bool WeAgree(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}
bool TheyMay(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kEcho;
}

void Send(std::vector<std::uint8_t>& replies, std::uint8_t verb, std::uint8_t option) {
    replies.insert(replies.end(), {kTelnetIac, verb, option});
}

} // namespace

// Each side answers only a request that changes an option's state, or one
// that it refuses, so two parties that agree never loop.
void TelnetFilter::Negotiate(std::uint8_t option, std::vector<std::uint8_t>& replies) {
    switch (verb_) {
    case kWill:
        if (!TheyMay(option)) {
            Send(replies, kDont, option);
        } else if (!theirs_[option]) {
            theirs_[option] = true;
            Send(replies, kDo, option);
        }
        break;
    case kWont:
        if (theirs_[option]) {
            theirs_[option] = false;
            Send(replies, kDont, option);
        }
        break;
    case kDo:
        if (!WeAgree(option)) {
            Send(replies, kWont, option);
        } else if (!ours_[option]) {
            ours_[option] = true;
            Send(replies, kWill, option);
        }
        break;
    case kDont:
        if (ours_[option]) {
            ours_[option] = false;
            Send(replies, kWont, option);
        }
        break;
    default: break;
    }
}

void TelnetFilter::Receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                           std::vector<std::uint8_t>& replies) {
    for (const std::uint8_t byte : bytes) {
        switch (state_) {
        case State::Data:
            if (byte == kTelnetIac) {
                state_ = State::Command;
            } else {
                data.push_back(byte);
            }
            break;
        case State::Command:
            if (byte == kTelnetIac) {
                data.push_back(byte);
                state_ = State::Data;
            } else if (byte >= kWill) {
                verb_ = byte;
                state_ = State::Option;
            } else if (byte == kSb) {
                state_ = State::Subnegotiation;
            } else {
                state_ = State::Data; // NOP, GA, BRK and the others: dropped
            }
            break;
        case State::Option:
            Negotiate(byte, replies);
            state_ = State::Data;
            break;
        case State::Subnegotiation:
            if (byte == kTelnetIac) {
                state_ = State::SubnegotiationIac;
            }
            break;
        case State::SubnegotiationIac:
            state_ = byte == kSe ? State::Data : State::Subnegotiation;
            break;
        }
    }
}

void AppendTelnetData(std::uint8_t byte, std::vector<std::uint8_t>& out) {
    out.push_back(byte);
    if (byte == kTelnetIac) {
        out.push_back(byte);
    }
}

} // namespace kestra::console
