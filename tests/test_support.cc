#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace dorvenix::testing {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "dorvenix-test-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; give write access back first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string TempDir::Write(const std::string& name, const std::string& contents) const {
  const std::string path = File(name);
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string DorvenixPath() { return DORVENIX_BINARY; }

namespace {

RunResult Spawn(const std::vector<std::string>& argv, const std::string& cwd) {
  TempDir capture;
  const std::string out_path = capture.File("out");
  const std::string err_path = capture.File("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  // Run in `cwd` by way of the shell-free trick: chdir is not a file action in
  // glibc 2.36, so the child is started through /bin/sh only when needed.
  std::vector<std::string> full = argv;
  if (cwd != ".") {
    full = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", cwd};
    full.insert(full.end(), argv.begin(), argv.end());
  }
  std::vector<char*> raw;
  for (std::string& a : full) raw.push_back(a.data());
  raw.push_back(nullptr);
  ::setenv("DORVENIX", DORVENIX_BINARY, 1);
  pid_t pid;
  RunResult result;
  if (posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

}  // namespace

RunResult RunDorvenix(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> argv = {DORVENIX_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return Spawn(argv, cwd);
}

RunResult RunShell(const std::string& script, const std::string& cwd) {
  return Spawn({"/bin/sh", "-c", script}, cwd);
}

}  // namespace dorvenix::testing
