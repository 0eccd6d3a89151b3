#include "test_support.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace dorvenix::testing {

TempDir::TempDir() {
  std::string name = (std::filesystem::temp_directory_path() / "dorvenix-test-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& contents) const {
  std::ofstream(File(name), std::ios::binary) << contents;
}

Files FilesIn(const std::string& folder) {
  Files names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

RunResult RunShell(const std::string& script, const TempDir& dir) {
  const TempDir capture;
  const std::string command =
      "cd '" + dir.path() + "' && export DORVENIX='" DORVENIX_BINARY "' && (\n" + script +
      "\n) </dev/null >'" + capture.File("out") + "' 2>'" + capture.File("err") + "'";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(capture.File("out")),
          ReadFile(capture.File("err"))};
}

}  // namespace dorvenix::testing
