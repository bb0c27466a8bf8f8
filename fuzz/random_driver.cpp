// Runs a fuzz entry without libFuzzer, for compilers that have none: the entry's seeds of
// well-formed and hostile inputs, each mutated many times by a generator with a fixed seed and
// pieces of the entry's grammar, so that every run goes over the same inputs and a failure
// repeats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Given by each entry.
const std::vector<std::string>& FuzzSeeds();
const std::vector<std::string>& FuzzPieces();

namespace {

std::string Mutate(std::string s, std::mt19937& rng) {
    const std::vector<std::string>& pieces = FuzzPieces();
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 4) {
            case 0:  // flip a byte
                if (!s.empty())
                    s[at % s.size()] = static_cast<char>(rng());
                break;
            case 1:  // drop a run
                if (!s.empty())
                    s.erase(at % s.size(), 1 + rng() % 8);
                break;
            case 2:  // insert a piece of the grammar
                s.insert(at, pieces[rng() % pieces.size()]);
                break;
            default:  // repeat a run
                if (!s.empty()) {
                    const std::size_t from = at % s.size();
                    s.insert(at, s.substr(from, 1 + rng() % 16));
                }
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 5000;
    std::mt19937 rng(20100523);
    long runs = 0;
    const std::vector<std::string>& seeds = FuzzSeeds();
    for (const auto& seed : seeds) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size());
        ++runs;
    }
    for (long i = 0; i < iterations; ++i) {
        const std::string input = Mutate(seeds[rng() % seeds.size()], rng);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%ld inputs, no finding\n", runs);
    return 0;
}
