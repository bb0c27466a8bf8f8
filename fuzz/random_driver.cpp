// Runs the fuzz entry without libFuzzer, for compilers that have none: seeds of well-formed and
// hostile status texts, each mutated many times by a generator with a fixed seed, so that every
// run goes over the same inputs and a failure repeats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

const std::vector<std::string> kSeeds = {
    "state building\nitem 201005231002N.dat\ndone 120\ntotal 4000\n",
    "state done\ndone 4000\ntotal 4000\nentry 2010_05_23=10,00~10,09\n"
    "file 1234 201005231000N.dat\nfile 480000 Audio/201005231000_01.wav\n",
    "state failed\nproblem no recordings in that range\n",
    "state cancelled\n",
    "state done\nentry x\nfile 1 ../../etc/passwd\n",
    "state done\nentry x\nfile 1 /etc/passwd\n",
    "state done\nentry x\nfile 1 C:\\Windows\\x\n",
    "state done\nentry x\nfile 99999999999999 big\n",
    "12345",
    "Audio/x.wav",
};

std::string Mutate(std::string s, std::mt19937& rng) {
    static const std::string pieces[] = {
        "\n",           " ",      "/",         "..", "\\", ":", std::string(1, '\0'), "file ",
        "state done\n", "entry ", "9999999999"};
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
                s.insert(at, pieces[rng() % std::size(pieces)]);
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
    for (const auto& seed : kSeeds) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size());
        ++runs;
    }
    for (long i = 0; i < iterations; ++i) {
        const std::string input = Mutate(kSeeds[rng() % kSeeds.size()], rng);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%ld inputs, no finding\n", runs);
    return 0;
}
