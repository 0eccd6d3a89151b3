// Check: a precondition that dorvenix's own code must keep, tested where
// breaking it would give wrong answers without a sign. A broken one is a
// fault of the program, not of its input: the process says so on standard
// error and aborts.
#ifndef DORVENIX_BASE_CHECK_H_
#define DORVENIX_BASE_CHECK_H_

namespace dorvenix {

// Writes "dorvenix: internal error: WHAT" to standard error and aborts.
[[noreturn]] void CheckFailed(const char* what) noexcept;

// Does nothing when `condition` holds; `what` (a string literal) says what
// was broken.
inline void Check(bool condition, const char* what) {
  if (!condition) [[unlikely]]
    CheckFailed(what);
}

}  // namespace dorvenix

#endif  // DORVENIX_BASE_CHECK_H_
