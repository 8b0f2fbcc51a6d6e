// Received bytes are handled without allocating: the reader thread feeds every
// byte of a server's output through ReceiveByte, and a benchmark holds it to
// at least twice the throughput of a general-purpose terminal library.

#include "emulator/Emulator.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <string>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace kestra::emulator {
namespace {

struct Sink {
    unsigned sent = 0;
    unsigned bells = 0;
};

// Every kind of sequence, replies included, in every parser state.
std::string Traffic() {
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        bytes += "plain text \x01\x7f\xc3 line\r\n\t\x08\x07";
    }
    bytes += "\x1b[1;2;3;4;5;6;7;8;9;10;11;12m\x1b[6n\x1b[5n\x1b[c\x1bZ\x1b[?6h\x1b[5;10r";
    bytes += "\x1b[99999999999A\x1b[3;4H\x1b#6doubled\x1b[1;10H\x1b[K\x1b[1J\x1b[2J\x1b#3\x1b#5";
    bytes += "\x1b(0qqq\x0eqq\x0f\x1b)0\x1b(B\x1b[?3h\x1b[?3l\x1b[132W\x1b[W\x1b[80W";
    bytes += "\x1b"
             "7\x1b"
             "8\x1bH\x1b[3g\x1b[g\x1b[20h\x1b[20l\x1b[?25l\x1b[?25h\x1bD\x1bE\x1bM";
    bytes += "\x1b[5\x18\x1b[\x1b[2\rC\x1b[>c\x1b"
             "c\x1b[?2l\x1bY%(\x1b%a\x1b&b\x1b:I\x1b:F";
    bytes += "\x1b:Mspaced\x1b:E\x1b:A\x1bJ\x1bK\x1bZ\x1bI\x1bA\x1b<\x1b[r";
    for (int i = 0; i < 100; ++i) {
        bytes += "\x1b[24;1Hscrolling past the bottom of the screen with wrapping text\n";
    }
    return bytes;
}

TEST(NoAllocationTest, ReceiveByteNeverAllocatesAfterInitialisation) {
    for (const bool genrad : {false, true}) {
        termdef::ResetTerminalDefinition();
        termdef::TerminalDefinition& definition = termdef::TheTerminalDefinition();
        definition.genradType = genrad;
        termdef::CharMapPut(definition.graphicMap, 'q', 0xFFF5);
        termdef::CharMapPut(definition.charMap, '#', 0xA3);
        definition.loaded = true;

        Emulator emulator;
        InitEmulator(emulator, "", 24);
        Sink sink;
        emulator.console = &sink;
        emulator.SendByte = [](Emulator& e, std::uint8_t) {
            ++static_cast<Sink*>(e.console)->sent;
            return 1;
        };
        emulator.RingBell = [](Emulator& e) { ++static_cast<Sink*>(e.console)->bells; };
        emulator.screen.autowrap = 1;
        const std::string bytes = Traffic();

        allocations = 0;
        counting = true;
        for (char byte : bytes) {
            ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
        }
        counting = false;
        EXPECT_EQ(allocations.load(), 0) << (genrad ? "GENRAD" : "VT100");
        // The traffic did reach the replies and the bell.
        EXPECT_GT(sink.sent, 10u);
        EXPECT_GT(sink.bells, 0u);
    }
    termdef::ResetTerminalDefinition();
}

TEST(NoAllocationTest, TheCounterSeesAnAllocation) {
    allocations = 0;
    counting = true;
    auto* block = new std::string(100, 'x');
    counting = false;
    delete block;
    EXPECT_GT(allocations.load(), 0);
}

} // namespace
} // namespace kestra::emulator
