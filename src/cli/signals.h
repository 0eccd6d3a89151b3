// How dorvenix ends on a signal: SIGINT, SIGTERM and SIGHUP leave no
// temporary file of a save and no progress line behind, then end the process
// by the same signal, so that the shell sees the status it expects (130 for
// Ctrl-C). A signal that whoever started us ignores (nohup, a background job)
// stays ignored. SIGXFSZ is ignored: over a file-size limit a write fails
// with EFBIG, which a save reports, instead of killing the whole run.
#ifndef DORVENIX_CLI_SIGNALS_H_
#define DORVENIX_CLI_SIGNALS_H_

namespace dorvenix {

// Installs the handlers, for the whole process.
void InstallSignalHandlers();

}  // namespace dorvenix

#endif  // DORVENIX_CLI_SIGNALS_H_
