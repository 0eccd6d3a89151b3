// VisitInPrefetchBatches: a loop over look-ups in a large table, faster than
// the plain loop when the table does not fit in the cache.
#ifndef DORVENIX_TABLE_BATCHES_H_
#define DORVENIX_TABLE_BATCHES_H_

#include <cstddef>

namespace dorvenix {

// The batch size: enough look-ups in the air to hide the memory's latency.
inline constexpr std::size_t kPrefetchBatch = 16;

// For each batch of up to kPrefetchBatch indices i of [0, n), in order:
// start(i) for each (work out where item i lives and ask for that memory),
// then fetch(i) for each (ask for the memory that the first fetch points
// to), then visit(i) for each. So the memory of the later items of a batch
// is on its way while the earlier ones are handled. Callers keep per-item
// state in an array indexed by i % kPrefetchBatch.
template <class Start, class Fetch, class Visit>
void VisitInPrefetchBatches(std::size_t n, Start&& start, Fetch&& fetch, Visit&& visit) {
  for (std::size_t begin = 0; begin < n; begin += kPrefetchBatch) {
    const std::size_t end = n - begin < kPrefetchBatch ? n : begin + kPrefetchBatch;
    for (std::size_t i = begin; i < end; ++i) start(i);
    for (std::size_t i = begin; i < end; ++i) fetch(i);
    for (std::size_t i = begin; i < end; ++i) visit(i);
  }
}

}  // namespace dorvenix

#endif  // DORVENIX_TABLE_BATCHES_H_
