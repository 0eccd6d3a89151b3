// The straightforward design of dorvenix, kept only as a yardstick for the
// benchmarks in bench/run.sh: same command line, same output bytes, built the
// obvious way with no attention to speed.
//
//  - The dictionary is a std::set of entries {key, word, int32 count} ordered
//    by (key, word); the key is the word with its inner bytes sorted (first and
//    last byte fixed). Words of 3 bytes or fewer are never stored.
//  - Texts are read from a std::ifstream one byte at a time with get().
//  - A dictionary file is written one "word count" line at a time, each line
//    flushed with std::endl; it is read with getline(in, word, ' '), then
//    `in >> count`, then the rest of the line is ignored.
//
// Build: g++ -O2 -std=c++20 -o straightforward straightforward.cc
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <limits>
#include <set>
#include <string>

namespace {

struct Entry {
  std::string key;
  std::string word;
  mutable std::int32_t count;
  bool operator<(const Entry& other) const {
    if (key != other.key) return key < other.key;
    return word < other.word;
  }
};

std::set<Entry> dictionary;

std::string MakeKey(const std::string& word) {
  std::string key = word;
  // Sorting plain chars compares them as signed bytes, which is the key order.
  if (key.size() > 3) std::sort(key.begin() + 1, key.end() - 1);
  return key;
}

void AddEntry(const std::string& word, std::int32_t count) {
  auto [it, inserted] = dictionary.insert(Entry{MakeKey(word), word, count});
  if (!inserted) {
    // Wrapping addition: the sum is not guarded against overflow.
    it->count = static_cast<std::int32_t>(static_cast<std::uint32_t>(it->count) +
                                          static_cast<std::uint32_t>(count));
  }
}

void AddWord(const std::string& word) {
  if (word.size() > 3) AddEntry(word, 1);
}

std::string FindBestWord(const std::string& word) {
  if (word.size() <= 3) return word;
  std::string key = MakeKey(word);
  auto it = dictionary.lower_bound(Entry{key, "", 0});
  auto end = dictionary.upper_bound(Entry{key, "\xff", 0});
  const Entry* chosen = nullptr;
  std::int32_t best = 0;
  for (; it != end; ++it) {
    if (it->key != key) continue;
    if (it->word == word) {
      chosen = &*it;
      break;
    }
    if (it->count > best) {
      chosen = &*it;
      best = it->count;
    }
  }
  return chosen ? chosen->word : word;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsWordByte(char c) { return c >= 'a' && c <= 'z'; }

void LearnFromText(std::istream& in) {
  if (!in.good()) return;
  std::string word;
  char c;
  while (in.get(c)) {
    c = Lower(c);
    if (IsWordByte(c)) {
      word += c;
    } else if (!word.empty()) {
      AddWord(word);
      word.clear();
    }
  }
  if (!word.empty()) AddWord(word);
}

void DecipherText(std::istream& in, std::ostream& out) {
  if (!in.good()) return;
  std::string word;
  char c;
  while (in.get(c)) {
    char lower = Lower(c);
    if (IsWordByte(lower)) {
      word += lower;
      continue;
    }
    if (!word.empty()) {
      out << FindBestWord(word);
      word.clear();
    }
    out.put(c);
  }
  if (!word.empty()) out << FindBestWord(word);
}

void LoadDictionary(std::istream& in) {
  if (!in.good()) return;
  while (in.good()) {
    std::string word;
    std::getline(in, word, ' ');
    if (!in.good()) break;
    std::int32_t count = 0;
    in >> count;
    if (word.size() > 3) AddEntry(word, count);
    if (in.good()) in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
}

void SaveDictionary(std::ostream& out) {
  for (const Entry& e : dictionary) out << e.word << ' ' << e.count << std::endl;
}

void PrintReport(std::ostream& out) {
  std::string key, word;
  std::int32_t count = 0;
  std::size_t collisions = 0;
  for (const Entry& e : dictionary) {
    if (e.key == key) {
      out << "Collision: " << word << '(' << count << ") with " << e.word << '(' << e.count << ')'
          << std::endl;
      ++collisions;
    }
    key = e.key;
    word = e.word;
    count = e.count;
  }
  out << "Words loaded(excluding 3 letter words and shorter)=" << dictionary.size() << std::endl;
  out << "Collisions=" << collisions << std::endl;
}

void PrintUsage() {
  std::cout << "Dorvenix v 1.0" << std::endl;
  std::cout << "Parameters:" << std::endl;
  std::cout << "dorvenix {-l files | -s files | -a files | -d files | -i} ..." << std::endl;
  std::cout << " -l = load dictionary file \n -s = save dictionary file \n -a = load some "
               "arbitrary text and add words to dictionary \n -d = decipher files (output to "
               "console) \n -i = print some information such as number of 'collisions' \n "
               "Commands are executed in the specified order.(so to decipher file you must "
               "load dictionary, then decipher file with -d) \n"
            << std::endl;
  std::cout << "Usage Examples:" << std::endl;
  std::cout << "dorvenix -a book1.txt book2.txt book3.txt -l dictionary.txt -s dictionary.txt"
            << std::endl;
  std::cout << "will merge words from book1.txt,book2.txt,book3.txt with dictionary.txt"
            << std::endl;
  std::cout << std::endl;
  std::cout << "dorvenix -l dictionary -d sutdy.txt" << std::endl;
  std::cout << "will load dictionary and then decipher sutdy.txt" << std::endl;
}

enum class Mode { None, Load, Save, Learn, Decipher };

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return 1;
  }
  Mode mode = Mode::None;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-l") {
      mode = Mode::Load;
    } else if (arg == "-s") {
      mode = Mode::Save;
    } else if (arg == "-a") {
      mode = Mode::Learn;
    } else if (arg == "-d") {
      mode = Mode::Decipher;
    } else if (arg == "-i") {
      PrintReport(std::cout);
    } else if (mode == Mode::None) {
      PrintUsage();
      return 1;
    } else if (mode == Mode::Save) {
      std::ofstream out(arg);
      SaveDictionary(out);
    } else {
      std::ifstream in(arg);
      if (mode == Mode::Load) LoadDictionary(in);
      if (mode == Mode::Learn) LearnFromText(in);
      if (mode == Mode::Decipher) DecipherText(in, std::cout);
    }
  }
  return 0;
}
