// Deciphering: restoring a scrambled text word by word.
#ifndef DORVENIX_TEXT_DECIPHER_H_
#define DORVENIX_TEXT_DECIPHER_H_

#include "base/status.h"
#include "index/best_word_index.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "threads/work_plan.h"

namespace dorvenix {

// Writes `in` to `out` with each word replaced by index.FindBestWord of its
// lowercase form and every separator byte copied unchanged. Blocks are
// deciphered as `plan` says and written in order as they are done. Returns why it stopped early: a
// read error, or memory running out; what was read before stays written. Write failures are left
// in out.status(). Memory stays bounded by a few blocks per thread however long a word is, unless
// the dictionary holds a word that long.
Status DecipherText(const BestWordIndex& index, InputFile& in, OutputFile& out,
                    const WorkPlan& plan = {}, const ProgressFn& progress = {});

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_DECIPHER_H_
