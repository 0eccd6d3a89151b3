#include "cli/driver.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "cli/progress.h"
#include "cli/usage.h"
#include "dictionary/dictionary.h"
#include "dictionary/dictionary_file.h"
#include "dictionary/report.h"
#include "index/best_word_index.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "io/save_file.h"
#include "io/standard_error.h"
#include "text/decipher.h"
#include "text/learn.h"
#include "threads/cores.h"
#include "threads/work_plan.h"

namespace dorvenix {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFailure = 2;

// One run of the command line: the dictionary, standard output, and whether
// anything has failed so far.
class Run {
 public:
  explicit Run(Console& console) : console_(console), out_(console.out) {
    plan_.threads = UsableCores();
  }

  int Execute(int argc, const char* const* argv) {
    if (argc < 2) return Usage();
    Mode mode = Mode::kNone;
    bool save_unnamed = false;  // a "-s" has had no file name yet
    for (int i = 1; i < argc; ++i) {
      const std::string_view arg = argv[i];
      const Mode selected = ModeOf(arg);
      if (selected != Mode::kNone) {
        // A "-s" with no file would lose the dictionary without a word; an
        // empty "-l", "-a" or "-d" loses nothing.
        if (save_unnamed) ReportUnnamedSave();
        mode = selected;
        save_unnamed = mode == Mode::kSave;
      } else if (arg == "-i") {
        Report("-i", PrintReport(dictionary_, out_, plan_.threads));
        out_.Flush();
      } else if (mode == Mode::kNone) {
        return Usage();
      } else {
        save_unnamed = false;
        const std::string path(arg);
        Report(path, Guarded([&] { return HandleFile(mode, path); }), mode);
      }
    }
    if (save_unnamed) ReportUnnamedSave();
    if (!out_.Flush()) Diagnose({});
    return failed_ ? kExitFailure : kExitOk;
  }

 private:
  static Mode ModeOf(std::string_view arg) {
    if (arg == "-l") return Mode::kLoad;
    if (arg == "-s") return Mode::kSave;
    if (arg == "-a") return Mode::kLearn;
    if (arg == "-d") return Mode::kDecipher;
    return Mode::kNone;
  }

  int Usage() {
    out_.Write(UsageText());
    if (!out_.Flush()) Diagnose({});
    return kExitUsage;
  }

  // Runs the command `mode` on the file `path`; returns what failed.
  Status HandleFile(Mode mode, const std::string& path) {
    switch (mode) {
      case Mode::kLoad: {
        InputFile in = InputFile::Open(path);
        // A missing dictionary is an empty one: '-l dict -s dict' starts it.
        // Not "-": whoever names it most likely meant standard input, and is
        // told its name rather than left with an empty dictionary.
        if (in.missing() && path != "-") return {};
        if (in.failed()) return in.status();
        return Unchanged(in, LoadDictionary(dictionary_, in, plan_));
      }
      case Mode::kSave:
        return SaveFile(path, out_, [&](OutputFile& file) {
          return SaveDictionary(dictionary_, file, plan_.threads);
        });
      case Mode::kLearn:
      case Mode::kDecipher: {
        InputFile in = InputFile::Open(path);
        if (in.failed()) return in.status();
        // Deciphered text on the same screen would be overdrawn by the
        // progress line, so deciphering shows one only when its text goes
        // elsewhere.
        const bool quiet = mode == Mode::kDecipher && console_.out_is_terminal;
        Progress progress(mode == Mode::kLearn ? "learning" : "deciphering", path,
                          quiet ? 0 : in.size(), console_);
        ProgressFn update;
        if (progress.enabled()) update = [&](std::uint64_t done) { progress.Update(done); };
        const Status done = mode == Mode::kLearn
                                ? LearnFromText(dictionary_, in, plan_, update)
                                : DecipherText(CurrentIndex(), in, out_, plan_, update);
        return Unchanged(in, done);  // the progress line is erased on the way out
      }
      case Mode::kNone:
        break;
    }
    return {};
  }

  // What was read stays learnt, loaded or written, but the run must not
  // pass for a success when the file changed meanwhile.
  static Status Unchanged(const InputFile& in, Status done) {
    if (done.ok() && in.Changed()) return Status::Changed();
    return done;
  }

  // The look-up index of the dictionary as it is now, built anew after a
  // change.
  const BestWordIndex& CurrentIndex() {
    if (index_ == nullptr || !index_->DescribesVersion(dictionary_.version())) {
      index_.reset();  // its memory is free before the new one is built
      index_ = std::make_unique<BestWordIndex>(dictionary_, plan_.threads);
    }
    return *index_;
  }

  void ReportUnnamedSave() { Diagnose("dorvenix: error: -s names no file; nothing was saved"); }

  // Reports a failure of the work on `subject` (a path under `mode`, "-i",
  // "standard output"). What the work had done stays; the next arguments
  // still run.
  void Report(const std::string& subject, const Status& status, Mode mode = Mode::kNone) {
    if (status.ok()) return;
    // Memory may be short now, and the index can be built again.
    if (status.code() == Status::Code::kOutOfMemory) index_.reset();
    Diagnose("dorvenix: error: " + Describe(subject, status, mode));
  }

  // What failed on the file `path`, in words. For a name that leads to a
  // closed standard descriptor, that it is closed says more than the
  // system's reason; "-" that names no file was most likely meant as
  // standard input, whose name is given.
  static std::string Describe(const std::string& path, const Status& status, Mode mode) {
    if (mode == Mode::kNone || status.code() != Status::Code::kSystem) return status.Describe(path);
    static constexpr const char* kStandard[] = {"input", "output", "error"};
    const int closed = ClosedStandardDescriptorNamedBy(path);
    if (closed >= 0) return path + ": standard " + kStandard[closed] + " is closed";
    std::string text = status.Describe(path);
    if (path == "-" && mode != Mode::kSave && status.error() == ENOENT) {
      text += " (for standard input, name /dev/stdin)";
    }
    return text;
  }

  // Marks the run as failed and writes `message` (if any) as a line to
  // standard error, after what standard output holds so far; a failure of
  // standard output is reported first, once.
  void Diagnose(const std::string& message) {
    failed_ = true;
    if (!out_.Flush() && !stdout_reported_) {
      stdout_reported_ = true;
      WriteStderr("dorvenix: error: " + out_.status().Describe("standard output"));
    }
    if (!message.empty()) WriteStderr(message);
  }

  void WriteStderr(std::string line) {
    line.push_back('\n');
    console_.error(line);
  }

  Console& console_;                      // where results and diagnostics go
  OutputFile& out_;                       // console_.out, shared by every command
  Dictionary dictionary_;                 // the one dictionary every command works on
  std::unique_ptr<BestWordIndex> index_;  // for deciphering, built when first needed
  WorkPlan plan_;                         // how commands work through their input
  bool failed_ = false;                   // a failure was reported: exit status 2
  bool stdout_reported_ = false;          // the standard output failure was reported
};

}  // namespace

int RunCommandLine(int argc, const char* const* argv, Console& console) {
  try {
    Run run(console);
    return run.Execute(argc, argv);
  } catch (const std::bad_alloc&) {
    // Too little memory even to start, or to report a failure.
    console.error("dorvenix: error: out of memory\n");
    return kExitFailure;
  }
}

int RunCommandLine(int argc, const char* const* argv) {
  try {
    OutputFile out(STDOUT_FILENO, false);
    Console console{out, WriteStandardError, ::isatty(STDOUT_FILENO) == 1,
                    ::isatty(STDERR_FILENO) == 1};
    return RunCommandLine(argc, argv, console);
  } catch (const std::bad_alloc&) {
    WriteStandardError("dorvenix: error: out of memory\n");
    return kExitFailure;
  }
}

}  // namespace dorvenix
