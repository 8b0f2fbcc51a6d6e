// write_stream NAME [SEED]: writes one benchmark stream to standard output,
// so scripts can feed the same bytes as the benchmarks to a server.

#include "bench/StreamGenerator.h"

#include <charconv>
#include <cstdio>
#include <string_view>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: write_stream NAME [SEED]\nstreams:\n");
    for (const kestra::bench::StreamInfo& stream : kestra::bench::kStreams) {
        std::fprintf(stderr, "  %-11.*s %.*s\n", static_cast<int>(stream.name.size()),
                     stream.name.data(), static_cast<int>(stream.description.size()),
                     stream.description.data());
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        return Usage();
    }
    const auto kind = kestra::bench::FindStream(argv[1]);
    if (!kind) {
        std::fprintf(stderr, "write_stream: unknown stream \"%s\"\n", argv[1]);
        return Usage();
    }
    std::uint64_t seed = kestra::bench::kDefaultSeed;
    if (argc == 3) {
        const std::string_view text = argv[2];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
        if (error != std::errc() || end != text.data() + text.size()) {
            std::fprintf(stderr, "write_stream: the seed \"%s\" is not a number\n", argv[2]);
            return 2;
        }
    }
    const std::string bytes = kestra::bench::GenerateStream(*kind, seed);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        std::perror("write_stream");
        return 1;
    }
    return 0;
}
