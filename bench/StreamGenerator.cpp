#include "bench/StreamGenerator.h"

#include <algorithm>

namespace kestra::bench {

namespace {

// splitmix64: tiny, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // 0 to bound - 1; the modulo bias is far below what a benchmark notices.
    unsigned Below(unsigned bound) { return static_cast<unsigned>(Next() % bound); }
    unsigned Between(unsigned low, unsigned high) { return low + Below(high - low + 1); }
    bool OneIn(unsigned n) { return Below(n) == 0; }

private:
    std::uint64_t state_;
};

constexpr std::string_view kCsi = "\x1b[";
constexpr std::string_view kCrLf = "\r\n";

// Mostly letters with a space now and then, like words.
void AppendText(std::string& out, Random& random, unsigned length) {
    for (unsigned i = 0; i < length; ++i) {
        out += random.OneIn(6) ? ' ' : static_cast<char>(random.Between(0x21, 0x7E));
    }
}

void AppendNumber(std::string& out, unsigned value) {
    out += std::to_string(value);
}

void AppendCursorPosition(std::string& out, unsigned row, unsigned column) {
    out += kCsi;
    AppendNumber(out, row);
    out += ';';
    AppendNumber(out, column);
    out += 'H';
}

void PlainLine(std::string& out, Random& random) {
    AppendText(out, random, random.Below(kStreamColumns));
    out += kCrLf;
}

// clang-format off
// Renditions a full-screen program switches between: set and reset of each
// attribute the terminal shows, and the reset of all.
constexpr unsigned kRenditionParameters[] = {0, 1, 4, 5, 7, 22, 24, 25, 27};
// clang-format on

// Runs of one to six characters, each after an SGR of one to three parameters.
void AttributeLine(std::string& out, Random& random) {
    const unsigned width = random.Below(kStreamColumns);
    for (unsigned column = 0; column < width;) {
        out += kCsi;
        const unsigned count = random.Between(1, 3);
        for (unsigned i = 0; i < count; ++i) {
            if (i > 0) {
                out += ';';
            }
            AppendNumber(out, kRenditionParameters[random.Below(std::size(kRenditionParameters))]);
        }
        out += 'm';
        const unsigned run = std::min(random.Between(1, 6), width - column);
        AppendText(out, random, run);
        column += run;
    }
    out += kCrLf;
}

// clang-format off
constexpr std::string_view kLineErases[]    = {"K", "1K", "2K"};
constexpr std::string_view kDisplayErases[] = {"J", "1J"};
// clang-format on

// A short write ends left of the last column, so no terminal's auto-wrap
// setting changes what the stream does.
void AddressedWrite(std::string& out, Random& random) {
    const unsigned length = random.Between(1, 8);
    AppendCursorPosition(out, random.Between(1, kStreamRows),
                         random.Between(1, kStreamColumns - length));
    AppendText(out, random, length);
    if (random.OneIn(8)) {
        out += kCsi;
        out += kLineErases[random.Below(std::size(kLineErases))];
    }
    if (random.OneIn(64)) {
        out += kCsi;
        out += kDisplayErases[random.Below(std::size(kDisplayErases))];
    }
    if (random.OneIn(1024)) {
        out += kCsi;
        out += "2J";
    }
}

// A region that is never the whole screen, lines scrolled up through its
// bottom (LF, sometimes IND), then lines scrolled down through its top (RI).
void RegionBlock(std::string& out, Random& random) {
    const unsigned top = random.Between(2, kStreamRows / 2);
    const unsigned bottom = random.Between(top + 4, kStreamRows - 1);
    out += kCsi;
    AppendNumber(out, top);
    out += ';';
    AppendNumber(out, bottom);
    out += 'r';
    AppendCursorPosition(out, bottom, 1);
    for (unsigned i = random.Between(4, 16); i > 0; --i) {
        AppendText(out, random, random.Below(60));
        out += random.OneIn(4) ? "\r\x1b"
                                 "D"
                               : "\r\n";
    }
    AppendCursorPosition(out, top, 1);
    for (unsigned i = random.Between(4, 16); i > 0; --i) {
        out += "\x1bM";
        AppendText(out, random, random.Below(60));
        out += '\r';
    }
}

// clang-format off
// Line-drawing set bytes: corners, lines, tees, the cross, and a few symbols.
constexpr std::string_view kBoxCorners = "lkmj";
constexpr std::string_view kGraphics   = "jklmnqtuvwx`afg~";
// clang-format on

// One or two rows of one kind; the width never passes the last column, of
// a double-width row either.
void LineSizeRows(std::string& out, Random& random) {
    const unsigned halfWidth = kStreamColumns / 2 - 1;
    switch (random.Below(6)) {
    case 0:
        out += "\x1b#6";
        AppendText(out, random, random.Below(halfWidth + 1));
        out += kCrLf;
        break;
    case 1: {
        std::string text;
        AppendText(text, random, random.Below(halfWidth + 1));
        out += "\x1b#3" + text + "\r\n\x1b#4" + text + "\r\n";
        break;
    }
    case 2: {
        // A box edge in G0 switched to line drawing: corner, line, corner.
        const bool topEdge = random.OneIn(2);
        out += "\x1b(0";
        out += kBoxCorners[topEdge ? 0 : 2];
        out.append(random.Below(kStreamColumns - 2), 'q');
        out += kBoxCorners[topEdge ? 1 : 3];
        out += "\x1b(B";
        out += kCrLf;
        break;
    }
    case 3: {
        // Text with line-drawing pieces shifted in from G1.
        out += "\x1b)0";
        unsigned column = 0;
        while (column < kStreamColumns - 12) {
            const unsigned text = random.Between(1, 6);
            AppendText(out, random, text);
            out += '\x0e';
            const unsigned drawn = random.Between(1, 4);
            for (unsigned i = 0; i < drawn; ++i) {
                out += kGraphics[random.Below(kGraphics.size())];
            }
            out += '\x0f';
            column += text + drawn;
        }
        out += kCrLf;
        break;
    }
    case 4: {
        // Fields of up to seven characters at the default tab stops.
        const unsigned fields = random.Between(1, kStreamColumns / 8 - 1);
        for (unsigned i = 0; i < fields; ++i) {
            AppendText(out, random, random.Below(8));
            out += '\t';
        }
        AppendText(out, random, random.Below(8));
        out += kCrLf;
        break;
    }
    default:
        out += "\x1b#5";
        AppendText(out, random, random.Below(kStreamColumns));
        out += kCrLf;
        break;
    }
}

void AppendPiece(std::string& out, StreamKind kind, Random& random) {
    switch (kind) {
    case StreamKind::Plain: PlainLine(out, random); break;
    case StreamKind::Attributes: AttributeLine(out, random); break;
    case StreamKind::Addressing: AddressedWrite(out, random); break;
    case StreamKind::ScrollRegion: RegionBlock(out, random); break;
    case StreamKind::LineSizes: LineSizeRows(out, random); break;
    }
}

} // namespace

std::optional<StreamKind> FindStream(std::string_view name) {
    for (const StreamInfo& stream : kStreams) {
        if (stream.name == name) {
            return stream.kind;
        }
    }
    return std::nullopt;
}

std::string_view StreamName(StreamKind kind) {
    for (const StreamInfo& stream : kStreams) {
        if (stream.kind == kind) {
            return stream.name;
        }
    }
    return {};
}

std::string GenerateStream(StreamKind kind, std::uint64_t seed, std::size_t size) {
    // Each kind draws from its own sequence, so one seed gives five
    // unrelated streams.
    Random random(seed ^ (static_cast<std::uint64_t>(kind) + 1) * 0xD1B54A32D192ED03u);
    std::string out;
    out.reserve(size + 4096);
    while (out.size() < size) {
        AppendPiece(out, kind, random);
    }
    out.resize(size);
    return out;
}

} // namespace kestra::bench
