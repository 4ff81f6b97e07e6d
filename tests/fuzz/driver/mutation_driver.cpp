// A small deterministic fuzz driver for builds without libFuzzer: starts from the seed inputs a
// target offers (FuzzSeeds, optional) and feeds mutated copies to LLVMFuzzerTestOneInput.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Seeds are optional: a target that defines this returns a few well-formed inputs.
extern "C" __attribute__((weak)) void FuzzSeeds(std::vector<std::string>* seeds);

namespace {

std::string Mutate(std::string s, std::mt19937& rng) {
  std::uniform_int_distribution<int> op(0, 5);
  int rounds = 1 + static_cast<int>(rng() % 4);
  for (int r = 0; r < rounds; ++r) {
    size_t pos = s.empty() ? 0 : rng() % s.size();
    switch (op(rng)) {
      case 0:  // flip a bit
        if (!s.empty()) s[pos] = static_cast<char>(s[pos] ^ (1 << (rng() % 8)));
        break;
      case 1:  // random byte
        if (!s.empty()) s[pos] = static_cast<char>(rng());
        break;
      case 2:  // insert bytes
        s.insert(pos, std::string(1 + rng() % 8, static_cast<char>(rng())));
        break;
      case 3:  // erase a run
        if (!s.empty()) s.erase(pos, 1 + rng() % 16);
        break;
      case 4:  // truncate
        s.resize(pos);
        break;
      case 5: {  // interesting values
        static const uint8_t kInteresting[] = {0x00, 0xFF, 0x7F, 0x80, 0x0D, 0x1A, 0x20, '*', '9'};
        if (!s.empty()) s[pos] = static_cast<char>(kInteresting[rng() % sizeof(kInteresting)]);
        break;
      }
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 10000;
  unsigned seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--iterations") == 0) iterations = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--seed") == 0) seed = static_cast<unsigned>(std::atol(argv[i + 1]));
  }
  std::vector<std::string> corpus;
  if (FuzzSeeds) FuzzSeeds(&corpus);
  if (corpus.empty()) corpus.emplace_back();
  std::mt19937 rng(seed);
  for (const std::string& s : corpus) LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  for (long i = 0; i < iterations; ++i) {
    std::string input = Mutate(corpus[rng() % corpus.size()], rng);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    if (i % 64 == 0 && corpus.size() < 256) corpus.push_back(std::move(input));
  }
  std::cout << iterations << " mutated inputs, no crash\n";
  return 0;
}
