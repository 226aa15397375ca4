#include "mosaic/print_export.h"

#include "mosaic/photo_mosaic.h"

namespace tessaline {

// Placeholders until the streaming writer lands.
PrintJob MakePrintJob(const qxPhotoMosaic& engine, int tile_px) {
  PrintJob job;
  job.tile_px = tile_px;
  job.tile_w = engine.SubWidth();
  job.tile_h = engine.SubHeight();
  return job;
}

bool WritePrintMosaic(const PrintJob&, const std::string&, const ExportProgress&,
                      std::string* error) {
  if (error) *error = "print output is not available in this build";
  return false;
}

bool WriteDeepZoom(const PrintJob&, const std::string&, const ExportProgress&, std::string* error) {
  if (error) *error = "deep-zoom export is not available in this build";
  return false;
}

}  // namespace tessaline
