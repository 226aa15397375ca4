#include "view/command_text.h"

#include <sstream>
#include <utility>

namespace tessaline {

ViewCommand ParseViewCommand(const std::string& text) {
  static const std::pair<const char*, ViewCommand> kWords[] = {
      {"Generate", ViewCommand::kGenerate},
      {"Random", ViewCommand::kRandom},
      {"Preference", ViewCommand::kPreference},
      {"Auto Pilot", ViewCommand::kAutoPilot},
      {"Update images", ViewCommand::kUpdateImages},
      {"Choose images dir", ViewCommand::kChooseImagesDir},
      {"Camera Input", ViewCommand::kCameraInput},
      {"Tile size/", ViewCommand::kTileSize},
  };
  for (const auto& [word, command] : kWords)
    if (text.find(word) != std::string::npos) return command;
  return ViewCommand::kNone;
}

int FindTileSizeLabel(const std::string& text, const std::vector<std::string>& labels) {
  for (std::size_t i = 0; i < labels.size(); ++i)
    if (!labels[i].empty() && text.find(labels[i]) != std::string::npos) return static_cast<int>(i);
  return -1;
}

std::string LoadProgressText(double progress) {
  std::ostringstream text;  // default notation: six significant digits
  if (progress <= 1.0)
    text << "creating thumbnails - " << progress * 100.0 << "%";
  else if (progress <= 2.0)
    text << "creating kd-tree";
  else if (progress <= 3.0)
    text << "creating tle files - " << (progress - 2.0) * 100.0 << "%";
  return text.str();
}

int PreviousTileSizeIndex(int index, int count) {
  if (count <= 0) return -1;
  return index <= 0 || index >= count ? count - 1 : index - 1;
}

int NextTileSizeIndex(int index, int count) {
  if (count <= 0) return -1;
  return index < 0 || index >= count - 1 ? 0 : index + 1;
}

}  // namespace tessaline
