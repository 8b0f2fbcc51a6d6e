#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Reproducible byte streams of the kinds a server sends a console, for the
// benchmarks: the same kind, seed and size always give the same bytes, on
// every machine and compiler (the generator uses its own random numbers, not
// the standard library's distributions, whose results differ between
// implementations).
namespace kestra::bench {

enum class StreamKind {
    Plain,        // text lines of 0-79 characters ending in CR LF: scroll-heavy
    Attributes,   // text densely interleaved with SGR sequences
    Addressing,   // random cursor addressing, short writes, some EL and ED
    ScrollRegion, // LF and reverse index inside changing scroll regions
    LineSizes,    // double-width and double-height lines, line drawing, tabs
};

struct StreamInfo {
    StreamKind kind;
    std::string_view name; // what write_stream and the benchmark call it
    std::string_view description;
};

// clang-format off
inline constexpr StreamInfo kStreams[] = {
    {StreamKind::Plain,        "plain",      "text lines of 0-79 characters, CR LF"},
    {StreamKind::Attributes,   "sgr",        "text densely interleaved with SGR"},
    {StreamKind::Addressing,   "addressing", "cursor addressing, short writes, EL/ED"},
    {StreamKind::ScrollRegion, "region",     "LF and reverse index in a scroll region"},
    {StreamKind::LineSizes,    "linesizes",  "double width/height, line drawing, tabs"},
};
// clang-format on

inline constexpr std::size_t kStreamBytes = std::size_t{8} << 20;
inline constexpr std::uint64_t kDefaultSeed = 0x4B455354524131; // any fixed value

// The stream kinds are written for this screen.
inline constexpr unsigned kStreamRows = 24;
inline constexpr unsigned kStreamColumns = 80;

std::optional<StreamKind> FindStream(std::string_view name);
std::string_view StreamName(StreamKind kind);

// Exactly size bytes. The stream is built from whole pieces (a line, a
// sequence with its text) and cut at size, so the last piece may be
// unfinished, as a read from a pipe may end inside a sequence.
std::string GenerateStream(StreamKind kind, std::uint64_t seed = kDefaultSeed,
                           std::size_t size = kStreamBytes);

} // namespace kestra::bench
