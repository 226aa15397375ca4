// qxFlGLWindow: print-size and deep-zoom exports on a worker thread, followed
// on the status line from a toolkit timeout.

#include <FL/Fl.H>

#include <ostream>
#include <utility>

#include "export/print_export.h"
#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"
#include "view/gl_window.h"

namespace tessaline {
namespace {

// Often enough for a smooth percentage, rarely enough to cost nothing.
constexpr double kExportPollSeconds = 0.1;

}  // namespace

void qxFlGLWindow::ExportPrint(const std::string& path, int tile_px, bool deep_zoom) {
  if (control_.Busy()) {
    view_log() << "cannot export the mosaic to " << path << " : the tile images are loading"
               << std::endl;
    return;
  }
  if (!engine_->Target().mosaic_valid) {
    view_log() << "no mosaic images" << std::endl;
    return;
  }
  // The job is a copy of what the export needs: the engine may go on.
  PrintJob job = MakePrintJob(*engine_, tile_px);
  StartExport(
      [job = std::move(job), path, deep_zoom](const ExportProgress& progress, std::string* error) {
        return deep_zoom ? WriteDeepZoom(job, path, progress, error)
                         : WritePrintMosaic(job, path, progress, error);
      },
      path);
}

bool qxFlGLWindow::StartExport(ExportTask::Run run, const std::string& destination) {
  if (export_.Active()) {
    const std::string line = "cannot export the mosaic to " + destination + " : the export to " +
                             export_.Destination() + " still runs";
    view_log() << line << std::endl;
    ShowStatus(line);
    return false;
  }
  if (!export_.Start(std::move(run), destination)) {
    const std::string line = "cannot export the mosaic to " + destination + " : no thread";
    view_log() << line << std::endl;
    ShowStatus(line);
    return false;
  }
  view_log() << "exporting the mosaic to " << destination << std::endl;
  ShowStatus(ExportStatusText(destination, 0.0));
  Fl::add_timeout(kExportPollSeconds, ExportPollCallback, this);
  return true;
}

void qxFlGLWindow::ExportPollCallback(void* data) {
  auto* view = static_cast<qxFlGLWindow*>(data);
  const ExportTask::State state = view->export_.Poll();
  if (state.running) {
    view->ShowStatus(ExportStatusText(view->export_.Destination(), state.fraction));
    Fl::repeat_timeout(kExportPollSeconds, ExportPollCallback, data);
    return;
  }
  if (state.line.empty()) return;
  view_log() << state.line << std::endl;
  view->ShowStatus(state.line);
}

void qxFlGLWindow::CancelExport() {
  Fl::remove_timeout(ExportPollCallback, this);
  const std::string destination = export_.Destination();
  if (export_.Cancel()) view_log() << "cancelled the export to " << destination << std::endl;
}

}  // namespace tessaline
