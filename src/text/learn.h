// Learning: counting the words of a free text into a dictionary.
#ifndef DORVENIX_TEXT_LEARN_H_
#define DORVENIX_TEXT_LEARN_H_

#include "base/status.h"
#include "dictionary/dictionary.h"
#include "io/input_file.h"
#include "threads/work_plan.h"

namespace dorvenix {

// Adds every word of `in` to `dictionary` (AddWord: words of more than 3
// letters, one count per occurrence), as `plan` says; the dictionary ends up
// the same whatever the plan. Returns why it stopped early: a read error,
// memory running out or a limit reached; what was learnt before stays learnt.
Status LearnFromText(Dictionary& dictionary, InputFile& in, const WorkPlan& plan = {},
                     const ProgressFn& progress = {});

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_LEARN_H_
