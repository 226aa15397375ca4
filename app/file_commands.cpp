// The File menu's commands: open a picture or a movie, export the mosaic.

#include <FL/Fl.H>

#include <string>
#include <vector>

#include "app/file_chooser.h"
#include "app/main_window.h"
#include "picture/picture_types.h"
#include "video/movie_file.h"
#include "view/choice_dialog.h"
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

// The offered print exports: pixels per tile width, and whether the result
// is a deep-zoom folder rather than one picture. Three, because the choice
// dialog's scroll area shows no more than three radio buttons whole.
struct PrintChoice {
  const char* label;
  int tile_px;
  bool deep_zoom;
};
const PrintChoice kPrintChoices[] = {
    {"Print, 128 px per tile", 128, false},
    {"Print, 256 px per tile", 256, false},
    {"Deep zoom folder, 256 px per tile", 256, true},
};

// The index of the chosen print export, -1 when cancelled.
int ChoosePrintExport(Fl_Window* owner) {
  std::vector<std::string> labels;
  for (const PrintChoice& choice : kPrintChoices) labels.emplace_back(choice.label);
  qxFlRadioDialog dialog("Export size", labels, 0, owner);
  dialog.set_modal();
  dialog.show();
  while (dialog.shown()) Fl::wait();
  const int chosen = dialog.Selected();
  if (!dialog.Accepted() || chosen < 0 || chosen >= static_cast<int>(labels.size())) return -1;
  return chosen;
}

}  // namespace

void qxFlWindow::ImportImage() {
  const std::string path = ChooseOnePath(
      "Open image file", "Image Files|" + PictureFilterPatterns() + "|All Files|*.*", false);
  if (path.empty()) return;
  GuardEvent("open image", [&] { view_->OpenImage(path); });
  SetCurrentFile(path);
}

void qxFlWindow::ImportMovie() {
  const std::string path = ChooseOnePath(
      "Open movie file", "Movie Files|" + MovieFilterPatterns() + "|All Files|*.*", false);
  if (path.empty()) return;
  GuardEvent("open movie", [&] { view_->ToggleVideoInput(path); });
  SetCurrentFile(path);
}

void qxFlWindow::ExportImage() {
  const std::string path = ChooseOnePath(
      "Save Image",
      "Image Files|" + PictureFilterPatterns(PictureUse::kSaveList) + "|All Files|*.*", true);
  if (path.empty()) return;
  GuardEvent("export image", [&] { view_->ExportMosaic(path); });
  SetCurrentFile(path);
}

void qxFlWindow::ExportPrint() {
  const int chosen = ChoosePrintExport(this);
  view_->take_focus();
  if (chosen < 0) return;
  const PrintChoice& choice = kPrintChoices[chosen];
  const std::string path =
      choice.deep_zoom
          ? ChooseOnePath("Save Deep Zoom Folder", "All Files|*.*", true)
          : ChooseOnePath("Save Print Image",
                          "Print Files|" + PictureFilterPatterns(PictureUse::kPrint), true);
  if (path.empty()) return;
  // The name first: the export's progress then takes the status line.
  SetCurrentFile(path);
  GuardEvent("export print", [&] { view_->ExportPrint(path, choice.tile_px, choice.deep_zoom); });
}

}  // namespace tessaline
