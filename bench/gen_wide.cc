// Writes the "wide" benchmark corpus to standard output: random lowercase
// pseudo-words, each distinct word at least once, with Zipf-like frequencies,
// separated by spaces and newlines. The output depends only on the arguments:
// the generator uses its own integer PRNG and no floating point, so the bytes
// are the same on every run and every machine.
//
// Usage: gen_wide DISTINCT ZIPF_K SEED > wide.txt
//   DISTINCT  number of distinct words (lengths 4..12, peaked at 8)
//   ZIPF_K    the word of rank r (1-based) occurs 1 + floor(ZIPF_K / r) times
//   SEED      PRNG seed
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// splitmix64: small, fast and fully specified.
struct Rng {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n) by the multiply-shift method.
  std::uint64_t Below(std::uint64_t n) {
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(Next()) * n) >> 64);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gen_wide DISTINCT ZIPF_K SEED > wide.txt\n");
    return 2;
  }
  const std::uint64_t distinct = std::strtoull(argv[1], nullptr, 10);
  const std::uint64_t zipf_k = std::strtoull(argv[2], nullptr, 10);
  Rng rng{std::strtoull(argv[3], nullptr, 10)};

  // The distinct words, stored back to back; offsets[i]..offsets[i+1] is word i.
  std::string text;
  text.reserve(distinct * 12);  // never reallocates, so the views below stay valid
  std::vector<std::uint32_t> offsets{0};
  offsets.reserve(distinct + 1);
  std::unordered_set<std::string_view> seen;
  seen.reserve(distinct);
  while (offsets.size() <= distinct) {
    const std::size_t length = 4 + rng.Below(5) + rng.Below(5);
    const std::size_t start = text.size();
    for (std::size_t j = 0; j < length; ++j) text += static_cast<char>('a' + rng.Below(26));
    if (seen.insert(std::string_view(text).substr(start, length)).second) {
      offsets.push_back(static_cast<std::uint32_t>(text.size()));
    } else {
      text.resize(start);  // a repeat: draw again
    }
  }

  // Occurrences: every word once plus its Zipf share, then a shuffle.
  std::vector<std::uint32_t> tokens;
  for (std::uint64_t r = 1; r <= distinct; ++r) {
    tokens.insert(tokens.end(), 1 + zipf_k / r, static_cast<std::uint32_t>(r - 1));
  }
  for (std::size_t i = tokens.size(); i > 1; --i) {
    std::swap(tokens[i - 1], tokens[rng.Below(i)]);
  }

  std::string out;
  out.reserve(1 << 20);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::uint32_t id = tokens[i];
    out.append(text, offsets[id], offsets[id + 1] - offsets[id]);
    out += (i + 1 == tokens.size() || rng.Below(16) == 0) ? '\n' : ' ';
    if (out.size() >= (1 << 20) - 16) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
