#include "mosaic/batch_options.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace tessaline {
namespace {

// Largest tile or grid side accepted on the command line; the configuration
// check narrows tiles further to the working image.
constexpr int kMaxSide = 16384;

// One command-line option. `apply` reads the value (options with a value)
// and returns false with the reason in `error` when it is malformed.
struct OptionRow {
  const char* name;
  bool takes_value;
  std::function<bool(const std::string& value, BatchOptions& options, std::string& error)> apply;
};

bool ParsePositive(const std::string& text, int limit, int& value) {
  if (text.empty() || text.size() > 5) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= limit;
}

const std::vector<OptionRow>& OptionTable() {
  static const std::vector<OptionRow> table = {
      {"--help", false,
       [](const std::string&, BatchOptions& o, std::string&) { return o.help = true; }},
      {"--tiles", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (value.empty()) error = "--tiles needs a folder";
         o.tiles_dir = value;
         return !value.empty();
       }},
      {"--tile", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParseSizePair(value, kMaxSide, o.tile_width, o.tile_height)) return true;
         error = "invalid value for --tile : '" + value + "' (expected WIDTHxHEIGHT, e.g. 32x18)";
         return false;
       }},
      {"--grid", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParseSizePair(value, 32, o.grid_x, o.grid_y)) return true;
         error = "invalid value for --grid : '" + value + "' (expected MXxMY from 1x1 to 32x32)";
         return false;
       }},
  };
  return table;
}

const OptionRow* FindOption(const std::string& name) {
  for (const OptionRow& row : OptionTable()) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

}  // namespace

bool ParseSizePair(const std::string& text, int limit, int& width, int& height) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  return ParsePositive(text.substr(0, x), limit, width) &&
         ParsePositive(text.substr(x + 1), limit, height);
}

bool ParseBatchArguments(const std::vector<std::string>& args, BatchOptions& options,
                         std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionRow* row = arg.rfind("--", 0) == 0 ? FindOption(name) : nullptr;
    if (row == nullptr) {
      error =
          (arg.rfind("-", 0) == 0 ? "unknown option : '" : "unexpected argument : '") + arg + "'";
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      if (!row->takes_value) {
        error = name + " takes no value";
        return false;
      }
      value = arg.substr(equals + 1);
    } else if (row->takes_value) {
      if (i + 1 == args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!row->apply(value, options, error)) return false;
  }
  return true;
}

std::string BatchUsage() {
  return "usage: tessaline-batch --tiles DIR [--tile WxH] [--grid MXxMY]\n"
         "Loads the tile library from DIR as tessaline does, without a window: reads\n"
         "tessaline.cfg from the working directory when it exists (never writes it),\n"
         "logs to the console and tessaline.log, and writes the image information\n"
         "cache and the touched-tile (.tle) files into DIR.\n"
         "  --tiles DIR    the tile folder to load\n"
         "  --tile WxH     tile size for this run, e.g. 32x18 (default: sub_width x sub_height)\n"
         "  --grid MXxMY   matching grid for this run, e.g. 2x2 (default: matching_x x "
         "matching_y)\n"
         "  --help         show this text\n"
         "Exit status: 0 when the library is not empty, 1 when it is, 2 for a bad command line.\n";
}

std::string ProgressBarText(double p, int width) {
  const char* stage = p <= 1.0   ? "creating thumbnails"
                      : p <= 2.0 ? "creating kd-tree"
                                 : "creating tle files";
  double fraction = p <= 1.0 ? p : p <= 2.0 ? p - 1.0 : p - 2.0;
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int cells = std::max(width, 1);
  const int filled = static_cast<int>(fraction * cells);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100.0));
  return "[" + std::string(filled, '#') + std::string(cells - filled, ' ') + "] " + percent + " " +
         stage;
}

}  // namespace tessaline
