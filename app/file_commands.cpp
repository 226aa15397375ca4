// The File menu's commands: open a picture or a movie, export the mosaic.

#include <string>
#include <vector>

#include "app/file_chooser.h"
#include "app/main_window.h"
#include "view/event_guard.h"
#include "view/gl_window.h"

namespace tessaline {
namespace {

// The first path chosen in a single-file chooser; empty when cancelled.
std::string ChooseOnePath(const std::string& title, const std::string& filter, bool save) {
  std::vector<std::string> paths;
  if (ShowFileChooser(paths, title, filter, false, save) == 0) return "";
  return paths.front();
}

}  // namespace

void qxFlWindow::ImportImage() {
  const std::string path =
      ChooseOnePath("Open image file", "Image Files|*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.webp;*.heic;*.heif|All Files|*.*", false);
  if (path.empty()) return;
  GuardEvent("open image", [&] { view_->OpenImage(path); });
  SetCurrentFile(path);
}

void qxFlWindow::ImportMovie() {
  const std::string path = ChooseOnePath(
      "Open movie file", "Movie Files|*.avi;*.mpg;*.mpeg;*.mp4;*.mov|All Files|*.*", false);
  if (path.empty()) return;
  GuardEvent("open movie", [&] { view_->ToggleVideoInput(path); });
  SetCurrentFile(path);
}

void qxFlWindow::ExportImage() {
  // Every type the mosaic can be written as; .bmp and .png come first.
  const std::string path = ChooseOnePath(
      "Save Image", "Image Files|*.bmp;*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.webp;*.ppm|All Files|*.*",
      true);
  if (path.empty()) return;
  GuardEvent("export image", [&] { view_->ExportMosaic(path); });
  SetCurrentFile(path);
}

}  // namespace tessaline
