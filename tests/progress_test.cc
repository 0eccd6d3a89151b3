// End-to-end: the progress line on standard error, under a pseudo-terminal
// made by util-linux `script`.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace dorvenix::testing {
namespace {

TEST(Progress, ShownOnATerminalForLargeFilesOnly) {
  if (RunShell("command -v script >/dev/null").status != 0) GTEST_SKIP() << "no script(1)";
  TempDir dir;
  // 70 MiB of text, over the 64 MiB from which progress is shown.
  std::string chunk;
  while (chunk.size() < (1 << 20)) chunk += "Tihs is a tset of the pgrroess lnie.\n";
  chunk.resize(1 << 20);
  std::string big;
  for (int i = 0; i < 70; ++i) big += chunk;
  dir.Write("big.txt", big);
  dir.Write("small.txt", "this test progress line\n");
  const std::string plain_dict = [&] {
    RunDorvenix({"-a", "big.txt", "-s", "plain.dict"}, dir.path());
    return ReadFile(dir.File("plain.dict"));
  }();

  struct Case {
    std::string command;  // $DORVENIX is the binary
    std::string label;    // what the line says; empty: no line at all
  };
  const Case cases[] = {
      {"\"$DORVENIX\" -a big.txt -s tty.dict", "dorvenix: learning big.txt: "},
      {"\"$DORVENIX\" -a small.txt -d big.txt > tty.txt", "dorvenix: deciphering big.txt: "},
      {"cat big.txt | \"$DORVENIX\" -a /dev/stdin -s tty.dict", ""},  // a pipe has no size
      {"\"$DORVENIX\" -a small.txt -s tty.dict", ""},                 // too small
  };
  for (const Case& c : cases) {
    const RunResult r = RunShell("script -qfec '" + c.command + "' /dev/null", dir.path());
    EXPECT_EQ(r.status, 0) << c.command;
    if (c.label.empty()) {
      EXPECT_EQ(r.out, "") << c.command;
    } else {
      // Redrawn in place, e.g. "\rdorvenix: learning big.txt: 42% 512 MB/s\e[K",
      // and erased at the end.
      EXPECT_EQ(r.out.rfind("\r" + c.label, 0), 0u) << c.command << ": " << r.out.substr(0, 80);
      EXPECT_NE(r.out.find("% "), std::string::npos) << c.command;
      EXPECT_EQ(r.out.substr(r.out.size() - 4), "\r\x1b[K") << c.command;
    }
  }
  // The work itself is the same with or without the line.
  EXPECT_EQ(
      RunShell("script -qfec '\"$DORVENIX\" -a big.txt -s tty.dict' /dev/null", dir.path()).status,
      0);
  EXPECT_EQ(ReadFile(dir.File("tty.dict")), plain_dict);
  // Without a terminal: nothing on standard error.
  EXPECT_EQ(RunDorvenix({"-a", "big.txt"}, dir.path()).err, "");
}

}  // namespace
}  // namespace dorvenix::testing
