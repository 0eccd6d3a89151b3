// What the tests and fuzz targets share: reference forms of a dictionary
// (its entries in order, the key of a word), inputs cut into small pieces,
// temporary folders, and running the built dorvenix binary inside one.
#ifndef DORVENIX_TESTS_TEST_SUPPORT_H_
#define DORVENIX_TESTS_TEST_SUPPORT_H_

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dictionary/dictionary.h"
#include "io/input_file.h"
#include "threads/work_plan.h"

namespace dorvenix::testing {

using Counts = std::map<std::string, std::int32_t>;

// Every entry of `dictionary` as a "word count" line, in dictionary order.
inline std::string Listing(const Dictionary& dictionary) {
  std::string text;
  for (const SortedEntry& entry : dictionary.InOrder()) {
    (text += dictionary.Word(entry.id)) += ' ' + std::to_string(dictionary.Count(entry.id)) + '\n';
  }
  return text;
}

// The key of `word`, the plain way: inner bytes sorted as signed values.
inline std::string KeyOf(std::string_view word) {
  std::string key(word);
  if (key.size() > 3) {
    std::sort(key.begin() + 1, key.end() - 1, [](char a, char b) {
      return static_cast<signed char>(a) < static_cast<signed char>(b);
    });
  }
  return key;
}

// The same for `counts`, put in dictionary order the plain way: by key,
// then by word, as unsigned bytes.
inline std::string Listing(const Counts& counts) {
  std::vector<std::pair<std::string, std::string>> order;  // key, line
  for (const auto& [word, count] : counts) {
    order.emplace_back(KeyOf(word), word + " " + std::to_string(count) + "\n");
  }
  std::sort(order.begin(), order.end());
  std::string text;
  for (const auto& [key, line] : order) text += line;
  return text;
}

// The best word for `word` by the plain rules: the word itself when it has
// 3 bytes or fewer or is known; else the word of the same key with the
// highest count above 0, the smallest on a tie; else the word itself.
inline std::string BestOf(const Counts& entries, const std::string& word) {
  if (word.size() <= 3 || entries.contains(word)) return word;
  std::string best = word;
  std::int32_t best_count = 0;
  for (const auto& [known, count] : entries)  // in byte order
    if (count > best_count && KeyOf(known) == KeyOf(word)) best = known, best_count = count;
  return best;
}

// Plans that cut the input everywhere: blocks of 1 to 7 bytes and of 64, on
// 1, 2 and 5 threads, each with how many bytes a read gives (1, 3 or 5).
inline std::vector<std::pair<WorkPlan, std::size_t>> Plans() {
  std::vector<std::pair<WorkPlan, std::size_t>> plans;
  for (unsigned threads : {1u, 2u, 5u}) {
    for (std::size_t block : {1u, 2u, 3u, 5u, 7u, 64u}) {
      plans.push_back({WorkPlan{threads, block}, block % 2 == 0 ? 3u : block % 4 == 1 ? 5u : 1u});
    }
  }
  return plans;
}

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A word of `length` bytes drawn from `alphabet`, or of any bytes.
inline std::string RandomWord(std::mt19937& rng, std::size_t length,
                              std::string_view alphabet = "") {
  std::string word(length, 'a');
  for (char& c : word)
    c = alphabet.empty() ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
  return word;
}

// An input whose bytes are a copy of `text`, handed out `piece` bytes at a
// time at most: small pieces cut words and lines where the reader least
// expects it.
class TextInput : public InputFile {
 public:
  explicit TextInput(std::string_view text, std::size_t piece = SIZE_MAX)
      : InputFile(text.size()), text_(text), piece_(std::max<std::size_t>(piece, 1)) {}

 private:
  std::size_t Fill(char* to, std::size_t capacity) override {
    const std::size_t n = text_.copy(to, std::min(capacity, piece_), at_);
    at_ += n;
    return n;
  }

  std::string text_;    // the whole input
  std::size_t piece_;   // the most bytes a read gives
  std::size_t at_ = 0;  // bytes handed out
};

// Lets `parties` threads wait for each other: Attend() returns true once all
// have come, false after ten seconds without them (a guard against a hang,
// never a timing the test relies on).
struct Meeting {
  explicit Meeting(unsigned n) : parties(n) {}
  unsigned parties, arrived = 0;
  std::mutex mutex;
  std::condition_variable all_here;
  bool Attend() {
    std::unique_lock lock(mutex);
    ++arrived;
    all_here.notify_all();
    return all_here.wait_for(lock, std::chrono::seconds(10), [&] { return arrived >= parties; });
  }
};

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes `contents` to the file `name` in the folder.
  void Write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

// The names in `folder`, sorted.
using Files = std::vector<std::string>;
Files FilesIn(const std::string& folder);

// The whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

struct RunResult {
  int status;            // exit status of the script
  std::string out, err;  // its standard output and error
};

// Runs `script` with /bin/sh in the folder `dir`, standard input from
// /dev/null; $DORVENIX is the path of the binary under test.
RunResult RunShell(const std::string& script, const TempDir& dir);

}  // namespace dorvenix::testing

#endif  // DORVENIX_TESTS_TEST_SUPPORT_H_
