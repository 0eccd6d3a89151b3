// Status: how a piece of work went, in the one shape in which failures cross
// from the core to the driver.
//
// A Status is ok, or says what failed:
//   - a system call: its errno, and what was being done when it is not plain
//     from the file's name ("cannot write in folder ro");
//   - a line of a dictionary file that makes no sense: its 1-based number and
//     what is wrong with it;
//   - a limit of the program that is not memory ("word longer than 4 GiB");
//   - memory running out;
//   - a file that changed while it was read.
// Only the driver turns a Status into words (Describe). Inside the core,
// memory running out and limits are thrown (std::bad_alloc, LimitReached),
// since they can strike at any allocation; Guarded() turns them into a Status
// where a command hands its result to the driver.
#ifndef DORVENIX_BASE_STATUS_H_
#define DORVENIX_BASE_STATUS_H_

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace dorvenix {

class [[nodiscard]] Status {
 public:
  enum class Code { kOk, kSystem, kMalformedLine, kLimit, kOutOfMemory, kChanged };

  // Ok.
  Status() = default;

  // A failed system call that set `error` (an errno value); `doing`, when
  // not empty, says what was being done, before the system's reason.
  static Status System(int error, std::string doing = {}) {
    Status s(Code::kSystem);
    s.error_ = error;
    s.context_ = std::move(doing);
    return s;
  }
  // Line `line` (1-based) of a dictionary file is malformed; `reason` is a
  // string literal.
  static Status MalformedLine(std::uint64_t line, const char* reason) {
    Status s(Code::kMalformedLine);
    s.line_ = line;
    s.reason_ = reason;
    return s;
  }
  // A limit that is not memory was reached; `what` is a string literal.
  static Status Limit(const char* what) {
    Status s(Code::kLimit);
    s.reason_ = what;
    return s;
  }
  // Needs no memory of its own.
  static Status OutOfMemory() { return Status(Code::kOutOfMemory); }
  static Status Changed() { return Status(Code::kChanged); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // The errno of a failed system call, else 0.
  int error() const { return error_; }
  // The number of a malformed line, else 0.
  std::uint64_t line() const { return line_; }

  // The diagnostic about `subject` (a path, "-i", "standard output"), without
  // the program's prefix: "subject: reason", or "subject:LINE: reason" for a
  // malformed line.
  std::string Describe(std::string_view subject) const;

 private:
  explicit Status(Code code) : code_(code) {}

  Code code_ = Code::kOk;
  int error_ = 0;            // kSystem: the errno
  std::uint64_t line_ = 0;   // kMalformedLine: the line's number
  const char* reason_ = "";  // kMalformedLine, kLimit: what is wrong
  std::string context_;      // kSystem: what was being done, or empty
};

// Thrown where a limit of the program other than memory is reached; what()
// says which, as a string literal.
class LimitReached : public std::exception {
 public:
  explicit LimitReached(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

// Runs f(), which returns a Status, and returns that; or the Status of what it
// threw when memory ran out or a limit was reached.
template <class F>
Status Guarded(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return Status::OutOfMemory();
  } catch (const LimitReached& limit) {
    return Status::Limit(limit.what());
  }
}

}  // namespace dorvenix

#endif  // DORVENIX_BASE_STATUS_H_
