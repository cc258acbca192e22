// Writes the fuzzer's seed corpus: small valid takes of every layout and takes
// broken in the ways real files break (cut short, sizes of 0 and 0xFFFFFFFF,
// chunks past the end, odd sizes, no format, short 'bext', unsupported formats),
// and layouts of other programs (chunks before 'fmt ', RF64).
#include <cstdio>
#include <string>

#include "support/TakeBuilder.h"

using testsupport::PatternBytes;
using testsupport::TakeBuilder;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    int n = 0;
    auto save = [&](const std::string& name, const TakeBuilder& b, size_t keep = SIZE_MAX) {
        b.Write(dir + "/" + std::to_string(n++) + "-" + name, keep);
    };
    auto take = [](int channels, int bits, uint64_t start, uint64_t frames) {
        TakeBuilder b;
        b.Riff().Form().Bext(start, "2026-05-01", "12:00:00", 0).Fmt(channels, 48000, bits);
        b.Tfid(7).Data(PatternBytes(3, 0, frames, channels, bits));
        return b;
    };
    save("stereo24", take(2, 24, 500, 64));
    save("mono16", take(1, 16, 900, 80));
    save("stereo16-overlap", take(2, 16, 1500, 100));
    save("mono24", take(1, 24, 4000, 50));
    save("cut-in-data", take(2, 24, 0, 64), 1024);
    save("cut-in-bext", take(2, 24, 0, 64), 200);
    TakeBuilder zero;
    zero.Riff().Form().Fmt(2, 48000, 16).Data({}, 0);
    save("data-size-0", zero);
    TakeBuilder huge;
    huge.Riff().Form().Fmt(2, 48000, 16).Data(PatternBytes(1, 0, 8, 2, 16), 0xFFFFFFFF);
    save("data-size-ffffffff", huge);
    TakeBuilder past;
    past.Riff().Form().Fmt(1, 48000, 24).Chunk("LIST", {1, 2, 3}, 0x80000000).Data({1, 2, 3});
    save("chunk-past-end", past);
    TakeBuilder odd;
    odd.Riff().Form().Fmt(1, 48000, 16).Chunk("junk", {1, 2, 3}, {}, true).Data({1, 2, 3, 4});
    save("odd-chunk-padded", odd);
    TakeBuilder noFmt;
    noFmt.Riff().Form().Bext(0).Data({1, 2, 3, 4});
    save("no-fmt", noFmt);
    TakeBuilder shortBext;
    shortBext.Riff().Form().Bext(0, "2026-05-01", "12:00:00", 0, 601).Fmt(2, 48000, 16).Data({});
    save("bext-601", shortBext);
    TakeBuilder extensible;
    extensible.Riff().Form().Fmt(2, 48000, 24, 0xFFFE, 40).Data(PatternBytes(2, 0, 16, 2, 24));
    save("extensible", extensible);
    TakeBuilder floats;
    floats.Riff().Form().Fmt(2, 48000, 32, 3, 18).Data(PatternBytes(2, 0, 16, 2, 32));
    save("float", floats);
    TakeBuilder eightBit;
    eightBit.Riff().Form().Fmt(1, 8000, 8).Data({1, 2, 3, 4});
    save("8bit", eightBit);
    TakeBuilder junkFirst;
    junkFirst.Riff().Form().Chunk("JUNK", std::vector<uint8_t>(28)).Chunk("odd ", {1}, {}, true);
    junkFirst.Bext(7).Fmt(2, 48000, 24).Data(PatternBytes(4, 0, 16, 2, 24));
    save("junk-first", junkFirst);
    TakeBuilder rf64;
    rf64.Riff("RF64", 0xFFFFFFFF).Form().Ds64(64).Fmt(2, 48000, 16);
    rf64.Data(PatternBytes(5, 0, 16, 2, 16), 0xFFFFFFFF);
    save("rf64", rf64);
    return 0;
}
