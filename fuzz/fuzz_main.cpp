// Runs one reader over seed files and, with --mutate N, over N mutations of
// each seed: byte flips, deletions, insertions of delimiters and digits,
// truncations and huge numbers. Built with libFuzzer (clang,
// -DKAVRILON_LIBFUZZER=ON) the same targets run under the coverage-guided engine.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

#ifndef KAVRILON_FUZZ_TARGET
#error "define KAVRILON_FUZZ_TARGET to one of the fuzz* functions"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KAVRILON_FUZZ_TARGET(data, size);
  return 0;
}

#ifndef KAVRILON_LIBFUZZER
namespace {

std::string mutate(std::string s, std::mt19937& rng) {
  static const char* const pieces[] = {" ", "\n", "\r\n", "#", "0", "-1", "2147483648", "99999999999",
                                       "1e999", "\t", "y", "n", "END_OF_FILE", "\xff", "\x01"};
  int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits; ++e) {
    std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
    switch (rng() % 6) {
      case 0:
        if (at < s.size()) s[at] = static_cast<char>(s[at] ^ (1u << (rng() % 8)));
        break;
      case 1:
        if (at < s.size()) s.erase(at, 1 + rng() % 8);
        break;
      case 2:
        s.insert(at, pieces[rng() % std::size(pieces)]);
        break;
      case 3:
        s.resize(at);
        break;
      case 4:
        if (at < s.size()) s[at] = static_cast<char>('0' + rng() % 10);
        break;
      default:
        if (at < s.size()) s.insert(at, s.substr(at, 1 + rng() % 16));
        break;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  long mutations = 0;
  unsigned seed = 1;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--mutate") == 0 && i + 1 < argc) {
      mutations = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
      seed = static_cast<unsigned>(std::atol(argv[++i]));
    } else {
      std::ifstream in(argv[i], std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[i]);
        return 2;
      }
      inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  std::mt19937 rng(seed);
  long runs = 0;
  for (const auto& input : inputs) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    ++runs;
    for (long m = 0; m < mutations; ++m) {
      std::string variant = mutate(input, rng);
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(variant.data()), variant.size());
      ++runs;
    }
  }
  std::printf("%ld inputs read without a fault\n", runs);
  return 0;
}
#endif
