#include "batch/batch_options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "export/print_export.h"
#include "export/print_sinks.h"
#include "picture/image_write.h"
#include "picture/picture_types.h"

namespace tessaline {
namespace {

// Largest tile or grid side accepted on the command line; the configuration
// check narrows tiles further to the working image.
constexpr int kMaxSide = 16384;
// Most tiles a cell may draw from; far more than makes a mosaic look right.
constexpr int kMaxSearch = 1000;
// Largest repeat distance taken; any distance beyond the grid means that no
// photo repeats anywhere.
constexpr int kMaxRepeat = 1000000;

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

// A whole number from 0 to `limit`, decimal, nothing else.
bool ParseCount(const std::string& text, int limit, int& value) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::atoi(text.c_str());
  return value <= limit;
}

// A seed of the C library generator: decimal, 0 to 4294967295.
bool ParseSeed(const std::string& text, unsigned int& seed) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 4294967295ULL) return false;
  seed = static_cast<unsigned int>(value);
  return true;
}

// A blend weight: a decimal number from 0 to 1, nothing after it.
bool ParseAlpha(const std::string& text, double& alpha) {
  if (text.empty() || text.size() > 20 ||
      text.find_first_not_of("0123456789.") != std::string::npos)
    return false;
  char* end = nullptr;
  alpha = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && alpha >= 0.0 && alpha <= 1.0;
}

// An option taking a share from 0 to 1 into `value`, noting it in `given`.
OptionRow ShareOption(const char* name, double BatchOptions::*value, bool BatchOptions::*given) {
  return {name, true,
          [name, value, given](const std::string& text, BatchOptions& o, std::string& error) {
            o.*given = ParseAlpha(text, o.*value);
            if (!(o.*given))
              error = std::string("invalid value for ") + name + " : '" + text +
                      "' (expected a number from 0 to 1)";
            return o.*given;
          }};
}

// The options of the movie run; rows for the table below.
std::vector<OptionRow> MovieOptionRows() {
  return {
      {"--movie", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (value.empty()) error = "--movie needs a movie file";
         o.movie = value;
         return !value.empty();
       }},
      ShareOption("--alpha", &BatchOptions::alpha, &BatchOptions::has_alpha),
      ShareOption("--steady", &BatchOptions::steady, &BatchOptions::has_steady),
  };
}

// The options that shape the mosaic; rows for the table below.
std::vector<OptionRow> MosaicOptionRows() {
  return {
      {"--target", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (value.empty()) error = "--target needs a picture (or -1 for a random tile)";
         o.target = value;
         return !value.empty();
       }},
      {"--out", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (value.empty()) error = "--out needs a file name";
         o.out_path = value;
         return !value.empty();
       }},
      {"--size", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParseSizePair(value, kMaxSide, o.image_width, o.image_height)) return true;
         error =
             "invalid value for --size : '" + value + "' (expected WIDTHxHEIGHT, e.g. 3840x2160)";
         return false;
       }},
      {"--k", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParsePositive(value, kMaxSearch, o.search_num)) return true;
         error = "invalid value for --k : '" + value + "' (expected a number from 1 to 1000)";
         return false;
       }},
      {"--repeat", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParseCount(value, kMaxRepeat, o.repeat_distance)) return true;
         error = "invalid value for --repeat : '" + value +
                 "' (expected a whole number of cells from 0 to 1000000)";
         return false;
       }},
      {"--seed", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         o.has_seed = ParseSeed(value, o.seed);
         if (!o.has_seed)
           error = "invalid value for --seed : '" + value +
                   "' (expected a number from 0 to 4294967295)";
         return o.has_seed;
       }},
      {"--max-uses", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParseCount(value, kMaxRepeat, o.max_uses)) return true;
         error = "invalid value for --max-uses : '" + value +
                 "' (expected a whole number of cells from 0 to 1000000)";
         return false;
       }},
      {"--use-all", false,
       [](const std::string&, BatchOptions& o, std::string&) { return o.use_all = true; }},
      {"--stats", false,
       [](const std::string&, BatchOptions& o, std::string&) { return o.stats = true; }},
      {"--gpu", false,
       [](const std::string&, BatchOptions& o, std::string&) { return o.gpu = true; }},
      ShareOption("--color", &BatchOptions::color, &BatchOptions::has_color),
  };
}

// The options of the print-resolution outputs; rows for the table below.
std::vector<OptionRow> PrintOptionRows() {
  return {
      {"--print", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (ParsePositive(value, kMaxPrintTilePx, o.print_tile_px) &&
             o.print_tile_px >= kMinPrintTilePx)
           return true;
         error = "invalid value for --print : '" + value + "' (expected pixels per tile from " +
                 std::to_string(kMinPrintTilePx) + " to " + std::to_string(kMaxPrintTilePx) + ")";
         return false;
       }},
      {"--deepzoom", true,
       [](const std::string& value, BatchOptions& o, std::string& error) {
         if (value.empty()) error = "--deepzoom needs a folder";
         o.deepzoom_dir = value;
         return !value.empty();
       }},
  };
}

// The options of the library load; rows for the table below.
std::vector<OptionRow> LibraryOptionRows() {
  return {
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
}

const std::vector<OptionRow>& OptionTable() {
  static const std::vector<OptionRow> table = [] {
    std::vector<OptionRow> rows = LibraryOptionRows();
    for (OptionRow& row : MosaicOptionRows()) rows.push_back(std::move(row));
    for (OptionRow& row : MovieOptionRows()) rows.push_back(std::move(row));
    for (OptionRow& row : PrintOptionRows()) rows.push_back(std::move(row));
    return rows;
  }();
  return table;
}

const OptionRow* FindOption(const std::string& name) {
  for (const OptionRow& row : OptionTable()) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

bool ParseEachArgument(const std::vector<std::string>& args, BatchOptions& options,
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

// The print outputs' own combinations; false with `error` set.
bool CheckPrintCombination(const BatchOptions& o, std::string& error) {
  const bool print = o.print_tile_px > 0, deepzoom = !o.deepzoom_dir.empty();
  if ((print || deepzoom) && o.target.empty()) {
    error = std::string(print ? "--print" : "--deepzoom") +
            " renders a mosaic at print size : give --target PATH (or --target -1)";
  } else if (print && o.out_path.empty() && !deepzoom) {
    error = "--print needs --out FILE for the print picture (or --deepzoom DIR)";
  } else if (print && !o.out_path.empty() && !IsPrintPicturePath(o.out_path)) {
    error = "cannot write a print picture to '" + o.out_path + "' : give a file of type " +
            PrintPictureTypes();
  }
  return error.empty();
}

// Options that only make sense together.
bool CheckCombination(const BatchOptions& o, std::string& error) {
  if (o.help) return true;
  if (!CheckPrintCombination(o, error)) return false;
  if (!o.target.empty() && !o.movie.empty()) {
    error = "--target and --movie cannot be given together : make one mosaic at a time";
  } else if (!o.target.empty() && o.out_path.empty() && o.deepzoom_dir.empty()) {
    error = "--target needs --out FILE for the mosaic";
  } else if (!o.movie.empty() && o.out_path.empty()) {
    error = "--movie needs --out FILE for the mosaic movie";
  } else if (o.target.empty() && o.movie.empty() && !o.out_path.empty()) {
    error = "--out needs --target PATH (or --target -1 for a random tile) or --movie PATH";
  } else if (!o.target.empty() && !o.out_path.empty() && !IsWritableImagePath(o.out_path)) {
    error = "cannot write a mosaic to '" + o.out_path + "' : give a file of type " +
            WritableImageTypes();
  } else if (o.has_alpha && o.movie.empty()) {
    error = "--alpha blends the frames of a movie : give --movie and --out too";
  } else if (o.has_steady && o.movie.empty()) {
    error = "--steady keeps tiles from frame to frame of a movie : give --movie and --out too";
  } else if (o.target.empty() && o.movie.empty() &&
             (o.image_width > 0 || o.search_num > 0 || o.has_seed || o.gpu)) {
    error = "--size, --k, --seed and --gpu shape a mosaic : give --target or --movie, and --out";
  } else if (o.target.empty() && o.movie.empty() && o.has_color) {
    error = "--color tints a mosaic : give --target or --movie, and --out";
  } else if (o.target.empty() && o.movie.empty() && o.repeat_distance >= 0) {
    error = "--repeat shapes a mosaic : give --target or --movie, and --out";
  } else if (o.target.empty() && o.movie.empty() && (o.max_uses >= 0 || o.use_all || o.stats)) {
    error =
        "--max-uses, --use-all and --stats concern a mosaic : give --target or --movie, and "
        "--out";
  }
  return error.empty();
}

}  // namespace

bool ParseBatchArguments(const std::vector<std::string>& args, BatchOptions& options,
                         std::string& error) {
  return ParseEachArgument(args, options, error) && CheckCombination(options, error);
}

bool ParseSizePair(const std::string& text, int limit, int& width, int& height) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  return ParsePositive(text.substr(0, x), limit, width) &&
         ParsePositive(text.substr(x + 1), limit, height);
}

std::string BatchUsage() {
  return "usage: tessaline-batch --tiles DIR [--tile WxH] [--grid MXxMY]\n"
         "       tessaline-batch [--tiles DIR] --target PATH --out FILE [--size WxH] [--k N]\n"
         "                       [--seed N] [--color C] [--gpu] [--tile WxH] [--grid MXxMY]\n"
         "       tessaline-batch [--tiles DIR] --target PATH [--print TILEPX --out FILE]\n"
         "                       [--deepzoom DIR] and the options above\n"
         "       tessaline-batch [--tiles DIR] --movie PATH --out FILE [--alpha A] [--steady S]\n"
         "                       [--size WxH] [--k N] [--seed N] [--color C] [--gpu]\n"
         "                       [--tile WxH] [--grid MXxMY]\n"
         "Loads the tile library from DIR as tessaline does, without a window: reads\n"
         "tessaline.cfg from the working directory when it exists (never writes it),\n"
         "logs to the console and tessaline.log, and writes the image information\n"
         "cache and, on a load alone, the touched-tile (.tle) files into DIR. With\n"
         "--target it then makes the photomosaic of that picture at the working size and\n"
         "writes it to FILE; with --movie the mosaic of every frame of a movie, as a movie\n"
         "at its frame rate.\n"
         "  --tiles DIR    the tile folder to load (with --target or --movie, default:\n"
         "                 image_dir)\n"
         "  --tile WxH     tile size for this run, e.g. 32x18 (default: sub_width x sub_height)\n"
         "  --grid MXxMY   matching grid for this run, e.g. 2x2 (default: matching_x x "
         "matching_y)\n"
         "  --target PATH  the picture to make a mosaic of; -1 takes a random tile's picture\n"
         "  --movie PATH   the movie to make a mosaic movie of, frame by frame\n"
         "  --out FILE     the mosaic picture to write, its type by the extension\n"
         "                 (" +
         PictureTypesText(PictureUse::kWrite) +
         ");\n"
         "                 with --movie the movie (.avi, .mp4, .mov, .mkv, .webm, .mpg and\n"
         "                 others)\n"
         "  --alpha A      with --movie: each frame is mosaic x A + source x (1 - A),\n"
         "                 0 to 1 (default: 1, the pure mosaic)\n"
         "  --steady S     with --movie: a cell keeps its tile of the frame before unless\n"
         "                 another comes nearer by this share of its distance, 0 to 1\n"
         "                 (0: every frame matched afresh; default: steadiness)\n"
         "  --size WxH     working size, the size of the mosaic, e.g. 3840x2160\n"
         "                 (default: image_width x image_height)\n"
         "  --k N          each cell takes one of its N nearest tiles at random, 1 to 1000\n"
         "                 (default: search_num)\n"
         "  --repeat R     no photo appears twice within R cells of itself (0: no limit;\n"
         "                 default: repeat_distance)\n"
         "  --max-uses N   no photo fills more than N cells of a mosaic (0: no cap;\n"
         "                 default: max_uses)\n"
         "  --use-all      every photo appears in the mosaic, once each when the cells are\n"
         "                 fewer (default: use_all)\n"
         "  --stats        print the cells, the photos used, the most uses of one photo,\n"
         "                 the photos never used and the mean colour difference (CIELAB)\n"
         "  --seed N       seed of the random choices (0 to 4294967295): the same seed,\n"
         "                 tiles and options give the same mosaic (default: the time)\n"
         "  --color C      colour correction, 0 to 1: each tile moves toward its cell's\n"
         "                 mean colour by this share, 1 paints the cells flat\n"
         "                 (default: color_correction)\n"
         "  --gpu          compose the mosaic with the GLSL pass in a hidden OpenGL context\n"
         "                 (needs an X display with GLX in DISPLAY) instead of on the CPU\n"
         "  --print TILEPX with --target: FILE gets the mosaic at TILEPX pixels per tile\n"
         "                 (8 to 4096) drawn from the original photos\n"
         "                 (" +
         PictureTypesText(PictureUse::kPrint) +
         ")\n"
         "  --deepzoom DIR with --target: writes the print-size mosaic (TILEPX, default\n"
         "                 256) as a deep-zoom folder with a page to open in a browser\n"
         "  --help         show this text\n"
         "Exit status: 0 when the library is not empty (and the mosaic or movie was\n"
         "written), 1 when the library is empty, the target or movie cannot be read or\n"
         "the result cannot be written, 2 for a bad command line (or --gpu without a\n"
         "display).\n";
}

std::string ExportProgressText(double fraction, const std::string& what, int width) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int cells = std::max(width, 1);
  const int filled = static_cast<int>(fraction * cells);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100.0));
  return "[" + std::string(filled, '#') + std::string(cells - filled, ' ') + "] " + percent + " " +
         what;
}

std::string MovieProgressText(int done, int total, int width) {
  const std::string frame = "frame " + std::to_string(done);
  if (total <= 0) return frame;
  return ExportProgressText(static_cast<double>(done) / total,
                            frame + " of " + std::to_string(total), width);
}

std::string ProgressBarText(const LoadProgress& progress, int width) {
  return ExportProgressText(progress.fraction, LoadStageName(progress.stage), width);
}

}  // namespace tessaline
