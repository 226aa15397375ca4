#include "view/export_control.h"

#include <FL/Fl.H>

#include <ostream>
#include <utility>

#include "settings/log_stream.h"

namespace tessaline {
namespace {

// Often enough for a smooth percentage, rarely enough to cost nothing.
constexpr double kExportPollSeconds = 0.1;

}  // namespace

void ExportControl::ExportPrint(const std::string& path, int tile_px, bool deep_zoom) {
  if (host_.Busy()) {
    view_log() << "cannot export the mosaic to " << path << " : the tile images are loading"
               << std::endl;
    return;
  }
  if (!host_.MosaicValid()) {
    view_log() << "no mosaic images" << std::endl;
    return;
  }
  // The job is a copy of what the export needs: the engine may go on.
  PrintJob job = host_.MakePrintJob(tile_px);
  Start(
      [job = std::move(job), path, deep_zoom](const ExportProgress& progress, std::string* error) {
        return deep_zoom ? WriteDeepZoom(job, path, progress, error)
                         : WritePrintMosaic(job, path, progress, error);
      },
      path);
}

bool ExportControl::Start(ExportTask::Run run, const std::string& destination) {
  if (task_.Active()) {
    Refuse("cannot export the mosaic to " + destination + " : the export to " +
           task_.Destination() + " still runs");
    return false;
  }
  if (!task_.Start(std::move(run), destination)) {
    Refuse("cannot export the mosaic to " + destination + " : no thread");
    return false;
  }
  view_log() << "exporting the mosaic to " << destination << std::endl;
  host_.ShowStatus(ExportStatusText(destination, 0.0));
  Fl::add_timeout(kExportPollSeconds, PollCallback, this);
  return true;
}

void ExportControl::Refuse(const std::string& line) {
  view_log() << line << std::endl;
  host_.ShowStatus(line);
}

void ExportControl::PollCallback(void* control) {
  auto* self = static_cast<ExportControl*>(control);
  const ExportTask::State state = self->task_.Poll();
  if (state.running) {
    self->host_.ShowStatus(ExportStatusText(self->task_.Destination(), state.fraction));
    Fl::repeat_timeout(kExportPollSeconds, PollCallback, control);
    return;
  }
  if (state.line.empty()) return;
  view_log() << state.line << std::endl;
  self->host_.ShowStatus(state.line);
}

void ExportControl::Cancel() {
  Fl::remove_timeout(PollCallback, this);
  const std::string destination = task_.Destination();
  if (task_.Cancel()) view_log() << "cancelled the export to " << destination << std::endl;
}

bool ExportControl::ExportMosaic(const std::string& path) {
  // The load worker has the engine to itself until it ends.
  if (host_.Busy()) {
    view_log() << "cannot write the mosaic image to " << path << " : the tile images are loading"
               << std::endl;
    return false;
  }
  // Before the first mosaic the engine says "no mosaic images" itself.
  if (!host_.SaveMosaicImage(path)) return false;
  view_log() << "saved the mosaic image to " << path << std::endl;
  return true;
}

}  // namespace tessaline
