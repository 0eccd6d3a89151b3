// Helpers shared by the tests: temporary folders and running the built
// dorvenix binary as a user would.
#ifndef DORVENIX_TESTS_TEST_SUPPORT_H_
#define DORVENIX_TESTS_TEST_SUPPORT_H_

#include <string>
#include <vector>

namespace dorvenix::testing {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes away (also when the test fails).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string File(const std::string& name) const;
  // Writes `contents` to the file `name` in the folder; returns its path.
  std::string Write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;  // absolute path of the folder
};

// The whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Path of the dorvenix binary under test.
std::string DorvenixPath();

// Runs dorvenix with `args` in folder `cwd`, standard input from /dev/null.
RunResult RunDorvenix(const std::vector<std::string>& args, const std::string& cwd = ".");

// Runs `script` with /bin/sh -c in folder `cwd`; $DORVENIX holds the binary's
// path. For pipelines, redirections and resource limits.
RunResult RunShell(const std::string& script, const std::string& cwd = ".");

}  // namespace dorvenix::testing

#endif  // DORVENIX_TESTS_TEST_SUPPORT_H_
