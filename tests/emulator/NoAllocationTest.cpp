// The reader thread feeds every received byte through ReceiveByte: it must not
// allocate.

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

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Every form is replaced, so that no block allocated by one allocator is
// released by another (a sanitizer's own operator new[] or nothrow new would
// otherwise meet this file's delete).
namespace {

void* CountedAllocation(std::size_t size) noexcept {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* CountedAllocationOrThrow(std::size_t size) {
    if (void* block = CountedAllocation(size)) {
        return block;
    }
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) {
    return CountedAllocationOrThrow(size);
}
void* operator new[](std::size_t size) {
    return CountedAllocationOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
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
    // Octal escapes: a hex escape would swallow a following letter A-F.
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        bytes += "plain text \001\177\303 line\r\n\t\010\007";
    }
    bytes += "\033[1;2;3;4;5;6;7;8;9;10;11;12m\033[6n\033[5n\033[c\033Z\033[?6h\033[5;10r";
    bytes += "\033[99999999999A\033[3;4H\033#6doubled\033[1;10H\033[K\033[1J\033[2J\033#3\033#5";
    bytes += "\033(0qqq\016qq\017\033)0\033(B\033[?3h\033[?3l\033[132W\033[W\033[80W";
    bytes += "\0337\0338\033H\033[3g\033[g\033[20h\033[20l\033[?25l\033[?25h\033D\033E\033M";
    bytes += "\033[5\030\033[\033[2\rC\033[>c\033c\033[?2l\033Y%(\033%a\033&b\033:I\033:F";
    bytes += "\033:Mspaced\033:E\033:A\033J\033K\033Z\033I\033A\033<\033[r";
    for (int i = 0; i < 100; ++i) {
        bytes += "\033[24;1Hscrolling past the bottom of the screen with wrapping text\n";
    }
    return bytes;
}

TEST(NoAllocationTest, ReceivingNeverAllocatesAfterInitialisation) {
    // The counter itself must see an allocation, or the check below proves nothing.
    counting = true;
    delete new std::string(100, 'x');
    counting = false;
    ASSERT_GT(allocations.load(), 0);

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
        // Byte by byte, then again as the console's reader hands it over, in runs.
        for (char byte : bytes) {
            ReceiveByte(emulator, static_cast<std::uint8_t>(byte));
        }
        std::span rest(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        while (!rest.empty()) {
            rest = rest.subspan(ReceiveRun(emulator, rest, 0xFF, rest.size()));
        }
        counting = false;
        EXPECT_EQ(allocations.load(), 0) << (genrad ? "GENRAD" : "VT100");
        // The traffic did reach the replies and the bell.
        EXPECT_GT(sink.sent, 10u);
        EXPECT_GT(sink.bells, 0u);
    }
    termdef::ResetTerminalDefinition();
}

} // namespace
} // namespace kestra::emulator
