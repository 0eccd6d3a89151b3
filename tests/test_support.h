// What the tests and fuzz targets share: reference forms of a dictionary
// (its entries in order, the key of a word), temporary folders, and running
// the built dorvenix binary inside one.
#ifndef DORVENIX_TESTS_TEST_SUPPORT_H_
#define DORVENIX_TESTS_TEST_SUPPORT_H_

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dictionary/dictionary.h"

namespace dorvenix::testing {

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

// Every entry of `dictionary`, in dictionary order.
inline Entries InOrder(const Dictionary& dictionary) {
  Entries entries;
  dictionary.ForEachInOrder(
      [&](std::string_view word, std::int32_t count) { entries.emplace_back(word, count); });
  return entries;
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

// The whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

struct RunResult {
  int status = -1;  // exit status of the script
  std::string out;  // its standard output
  std::string err;  // its standard error
};

// Runs `script` with /bin/sh in the folder `dir`, standard input from
// /dev/null; $DORVENIX is the path of the binary under test.
RunResult RunShell(const std::string& script, const TempDir& dir);

// Runs dorvenix with `args` (split by the shell) in the folder `dir`.
inline RunResult RunDorvenix(const std::string& args, const TempDir& dir) {
  return RunShell("\"$DORVENIX\" " + args, dir);
}

}  // namespace dorvenix::testing

#endif  // DORVENIX_TESTS_TEST_SUPPORT_H_
