#include "export/deep_zoom.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

#include <opencv2/imgproc.hpp>

#include "picture/picture_writer.h"
#include "settings/paths.h"
#include "settings/utf8.h"

namespace tessaline {
namespace {

// The level below's row made of two rows of this one: 2 × 2 means, an odd
// last column (or a lone last row, given twice) averaged with itself.
cv::Mat HalveRows(const cv::Mat& upper, const cv::Mat& lower) {
  cv::Mat pair;
  cv::vconcat(upper, lower, pair);
  if (pair.cols % 2 == 1) cv::copyMakeBorder(pair, pair, 0, 0, 0, 1, cv::BORDER_REPLICATE);
  cv::Mat half;
  cv::resize(pair, half, cv::Size(pair.cols / 2, 1), 0, 0, cv::INTER_AREA);
  return half;
}

void AppendUnicodeEscape(std::string& out, char32_t code) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
  out += escaped;
}

// A string literal that is JSON and JavaScript alike: quotes and
// backslashes escaped, control characters, U+2028 and U+2029 (line ends to
// older JavaScript) written as \u escapes, and "<" too, so that no name can
// close a script element. A byte that is not UTF-8 is read as Latin-1, the
// usual older encoding of file names, so that the file stays valid UTF-8.
std::string ScriptString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    char32_t code = 0;
    std::size_t length = Utf8Sequence(text, code);
    if (length == 0) {
      length = 1;
      code = static_cast<unsigned char>(text[0]);
      AppendUnicodeEscape(out, code);
    } else if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == '<' || code == 0x2028 ||
               code == 0x2029) {
      AppendUnicodeEscape(out, code);
    } else {
      out.append(text.data(), length);
    }
    text.remove_prefix(length);
  }
  return out + "\"";
}

}  // namespace

int DeepZoomMaxLevel(int width, int height) {
  const int side = std::max(width, height);
  int level = 0;
  while ((1LL << level) < side) ++level;
  return level;
}

DeepZoomSink::DeepZoomSink(const std::string& folder, int width, int height) : folder_(folder) {
  const int max_level = DeepZoomMaxLevel(width, height);
  levels_.resize(static_cast<std::size_t>(max_level) + 1);
  for (int l = max_level; l >= 0; --l) {
    Level& level = levels_[static_cast<std::size_t>(l)];
    const long long scale = 1LL << (max_level - l);
    level.width = static_cast<int>((width + scale - 1) / scale);
    level.height = static_cast<int>((height + scale - 1) / scale);
    level.band.create(kDeepZoomTile, level.width, CV_8UC3);
    std::error_code error;
    std::filesystem::create_directories(folder_ + "/" + std::to_string(l), error);
    if (error && error_.empty()) error_ = "cannot make the folder " + folder_;
  }
}

bool DeepZoomSink::AddRows(const cv::Mat& rows) {
  for (int y = 0; y < rows.rows && error_.empty(); ++y)
    Push(static_cast<int>(levels_.size()) - 1, rows.row(y));
  return error_.empty();
}

bool DeepZoomSink::Finish() {
  for (int l = static_cast<int>(levels_.size()) - 1; l >= 0 && error_.empty(); --l) {
    Level& level = levels_[static_cast<std::size_t>(l)];
    if (!level.pending.empty() && l > 0) Push(l - 1, HalveRows(level.pending, level.pending));
    level.pending.release();
    if (level.filled > 0) WriteBand(l);
  }
  return error_.empty();
}

void DeepZoomSink::Push(int l, const cv::Mat& row) {
  Level& level = levels_[static_cast<std::size_t>(l)];
  row.copyTo(level.band.row(level.filled));
  if (++level.filled == kDeepZoomTile) WriteBand(l);
  if (l == 0) return;
  if (level.pending.empty()) {
    level.pending = row.clone();
    return;
  }
  const cv::Mat half = HalveRows(level.pending, row);
  level.pending.release();
  Push(l - 1, half);
}

void DeepZoomSink::WriteBand(int l) {
  Level& level = levels_[static_cast<std::size_t>(l)];
  for (int x = 0, column = 0; x < level.width && error_.empty(); x += kDeepZoomTile, ++column) {
    const int w = std::min(kDeepZoomTile, level.width - x);
    WriteTile(l, column, level.band(cv::Rect(x, 0, w, level.filled)));
  }
  level.filled = 0;
  ++level.tile_row;
}

void DeepZoomSink::WriteTile(int l, int column, const cv::Mat& pixels) {
  std::string bytes, why;
  if (!EncodePicture(PictureFormat::kJpeg, pixels.clone(), bytes, why)) {
    error_ = "cannot encode a tile : " + why;
    return;
  }
  const Level& level = levels_[static_cast<std::size_t>(l)];
  const std::string path = folder_ + "/" + std::to_string(l) + "/" + std::to_string(column) + "_" +
                           std::to_string(level.tile_row) + ".jpg";
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) error_ = "cannot write " + path + " (disk full?)";
}

std::string DeepZoomCellsScript(const DeepZoomCells& cells) {
  // Only the photos the mosaic shows, each named once.
  std::vector<int> name_of(cells.photo_paths.size(), -1);
  std::string names, indices;
  int next = 0;
  for (std::size_t i = 0; i < cells.cells.size(); ++i) {
    const int tile = cells.cells[i];
    int index = -1;
    if (tile >= 0 && static_cast<std::size_t>(tile) < name_of.size()) {
      int& named = name_of[static_cast<std::size_t>(tile)];
      if (named < 0) {
        named = next++;
        names += (named ? "," : "") + ScriptString(BaseName(cells.photo_paths[tile]));
      }
      index = named;
    }
    indices += (i ? "," : "") + std::to_string(index);
  }
  return "var tessalineMosaic = {\"width\":" + std::to_string(cells.width) +
         ",\"height\":" + std::to_string(cells.height) +
         ",\"tileSize\":" + std::to_string(kDeepZoomTile) +
         ",\"maxLevel\":" + std::to_string(DeepZoomMaxLevel(cells.width, cells.height)) +
         ",\"divX\":" + std::to_string(cells.div_x) + ",\"divY\":" + std::to_string(cells.div_y) +
         ",\"cellWidth\":" + std::to_string(cells.cell_width) +
         ",\"cellHeight\":" + std::to_string(cells.cell_height) + ",\n\"names\":[" + names +
         "],\n\"cells\":[" + indices + "]};\n";
}

std::string DeepZoomDescriptor(int width, int height) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<Image xmlns=\"http://schemas.microsoft.com/deepzoom/2008\" TileSize=\"" +
         std::to_string(kDeepZoomTile) + "\" Overlap=\"0\" Format=\"jpg\">\n  <Size Width=\"" +
         std::to_string(width) + "\" Height=\"" + std::to_string(height) + "\"/>\n</Image>\n";
}

std::string LeafletFolder() { return "/usr/share/javascript/leaflet"; }

}  // namespace tessaline
