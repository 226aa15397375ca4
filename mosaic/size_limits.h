#pragma once
// Sizes the engine refuses before a load starts: a load runs for minutes on
// a large library, and only afterwards would the mosaic step find that the
// GPU or the memory cannot hold what the settings ask for. Pure: no GL, the
// GPU's largest texture side comes from the caller (MosaicGpu).

#include <cstddef>
#include <string>

#include "mosaic/mosaic_config.h"

namespace tessaline {

// The most bytes one of the engine's size-dependent buffers (the matching
// image, the cells' candidate lists) may take. A machine with less free
// memory fails later, with one logged line; one with far more is not worth
// a mosaic nobody can look at.
constexpr std::size_t kEngineMemoryBudget = std::size_t{2} << 30;

// Why the engine cannot work at `config`'s sizes, as one line without an
// end of line, or an empty string when it can. `max_texture_side` is the
// GPU's largest texture side; 0 for a run without a GPU, where only the
// memory rules apply. Expects sizes that SanitizeMosaicConfig has passed.
std::string SizeRefusal(const MosaicConfig& config, int max_texture_side,
                        std::size_t memory_budget = kEngineMemoryBudget);

}  // namespace tessaline
