#include "mosaic/geometry.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>

namespace tessaline {

GridGeometry ComputeGrid(int image_w, int image_h, int sub_w, int sub_h, int mx, int my) {
  GridGeometry g;
  g.div_x = image_w / sub_w;
  g.div_y = image_h / sub_h;
  g.matching_w = g.div_x * mx;
  g.matching_h = g.div_y * my;
  return g;
}

namespace {

// Splits at commas, removing the double quotes around a token and the
// blanks (spaces, TABs) around it: "16 , 9" is 16 and 9.
std::vector<std::string> SplitTileSizeList(const std::string& text) {
  std::vector<std::string> tokens;
  std::string token;
  bool quoted = false;
  const auto blank = boost::algorithm::is_any_of(" \t");
  for (const char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      tokens.push_back(boost::algorithm::trim_copy_if(token, blank));
      token.clear();
    } else {
      token += c;
    }
  }
  if (!text.empty()) tokens.push_back(boost::algorithm::trim_copy_if(token, blank));
  return tokens;
}

// A decimal integer with an optional sign and nothing else around it.
std::optional<int> ParseSize(const std::string& token) {
  std::size_t i = (!token.empty() && (token[0] == '+' || token[0] == '-')) ? 1 : 0;
  if (i == token.size()) return std::nullopt;
  long long value = 0;
  for (; i < token.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return std::nullopt;
    value = value * 10 + (token[i] - '0');
    if (value > 1000000) return std::nullopt;
  }
  return token[0] == '-' ? -static_cast<int>(value) : static_cast<int>(value);
}

}  // namespace

TileSizeLimits TileSizeLimitsFor(int image_w, int image_h) {
  TileSizeLimits limits;
  limits.max_width = std::min(image_w, kMaxTextureSide);
  limits.max_height = std::min(image_h, kMaxTextureSide);
  return limits;
}

void ParseTileSizes(const std::string& text, std::vector<TileSize>& sizes, std::ostream& log,
                    const TileSizeLimits& limits) {
  const std::vector<std::string> tokens = SplitTileSizeList(text);
  int pairs = 0;
  for (std::size_t i = 0; i < tokens.size() && pairs < kMaxTileSizePairs; i += 2, ++pairs) {
    if (i + 1 == tokens.size()) {
      log << "tile scales : '" << tokens[i] << "' has no height and is skipped" << std::endl;
      break;
    }
    const std::optional<int> w = ParseSize(tokens[i]);
    const std::optional<int> h = ParseSize(tokens[i + 1]);
    if (!w || !h || *w < 1 || *h < 1) {
      log << "tile scales : '" << tokens[i] << "," << tokens[i + 1]
          << "' is not a tile size and is skipped" << std::endl;
      continue;
    }
    if (*w > limits.max_width || *h > limits.max_height) {
      log << "tile scales : '" << tokens[i] << "," << tokens[i + 1] << "' is larger than "
          << limits.max_width << " x " << limits.max_height << " and is skipped" << std::endl;
      continue;
    }
    sizes.push_back({*w, *h});
  }
}

std::string TileSizeLabel(const TileSize& size) {
  return std::to_string(size.width) + " x " + std::to_string(size.height);
}

}  // namespace tessaline
