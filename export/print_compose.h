#pragma once
// Composing a print-resolution mosaic band by band: a few threads make the
// cells of the next cell rows (each tile's photo read, cut, reduced and
// colour-corrected) while the calling thread hands finished rows to a sink.
// At most three cell rows are held, plus a bounded cache of cells for tiles
// that come back, so memory does not grow with the picture.

#include <string>

#include "export/print_export.h"
#include "export/print_sinks.h"

namespace tessaline {

enum class ComposeOutcome { kDone, kCancelled, kFailed };

// Feeds the whole picture of `job` (checked with PrintJobRefusal) to `sink`
// and reports progress after each cell row; does not call Finish. On
// kFailed `why` says why when the sink did not (a decode ran out of
// memory). A photo that cannot be read makes its cells flat in their mean
// colour, with one line to progress.log.
ComposeOutcome ComposePrint(const PrintJob& job, PrintSink& sink, const ExportProgress& progress,
                            std::string& why);

}  // namespace tessaline
