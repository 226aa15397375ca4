#pragma once
// ExportControl: the view's exports. File/Export/Image writes the mosaic on
// show at once; File/Export/Print writes it from the original photos at
// print size, or as a deep-zoom folder, on an ExportTask's worker, followed
// on the status line from a toolkit timeout until one log line tells how
// it ended. Refused, with one line, while a load has the engine or another
// export runs. GUI thread.

#include <string>

#include "export/print_export.h"
#include "view/export_task.h"

namespace tessaline {

// What the exports ask of the view.
class ExportHost {
 public:
  virtual ~ExportHost() = default;
  // A load has the engine.
  virtual bool Busy() const = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  // The engine holds a mosaic to export.
  virtual bool MosaicValid() const = 0;
  // A copy of what a print export of that mosaic at `tile_px` pixels per
  // tile needs, so that the engine may go on meanwhile.
  virtual PrintJob MakePrintJob(int tile_px) = 0;
  // Writes the mosaic on show to `path`; false, logged, when it could not.
  virtual bool SaveMosaicImage(const std::string& path) = 0;
};

class ExportControl {
 public:
  explicit ExportControl(ExportHost& host) : host_(host) {}
  // An export's worker never outlives the view.
  ~ExportControl() { Cancel(); }
  ExportControl(const ExportControl&) = delete;
  ExportControl& operator=(const ExportControl&) = delete;

  // File/Export/Print: the picture `path` or, with `deep_zoom`, the
  // deep-zoom folder `path`, at `tile_px` pixels per tile.
  void ExportPrint(const std::string& path, int tile_px, bool deep_zoom);
  // Runs `run` as the export's worker; false, with one line, while another
  // runs or when no thread can be started.
  bool Start(ExportTask::Run run, const std::string& destination);
  // Stops a running export and waits for its worker (the program ends).
  void Cancel();
  // File/Export/Image: writes the current mosaic to `path`.
  bool ExportMosaic(const std::string& path);

 private:
  // The toolkit timeout that follows a running export.
  static void PollCallback(void* control);
  // Refuses to start, with one line on the log and the status line.
  void Refuse(const std::string& line);

  ExportHost& host_;
  ExportTask task_;
};

}  // namespace tessaline
