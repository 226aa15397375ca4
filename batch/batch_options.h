#pragma once
// The command line of tessaline-batch, the program's engine without a
// window, and the text of its terminal progress bar. Pure functions.
//
// Options take their value as the next argument or after "=":
//   --tiles DIR      load the tile library from DIR
//   --tile WxH       tile size for this run (instead of sub_width × sub_height)
//   --grid MXxMY     matching grid for this run (matching_x × matching_y)
//   --target PATH    make the mosaic of PATH ("-1": of a random tile)
//   --movie PATH     make the mosaic movie of every frame of PATH
//   --out FILE       where the mosaic goes (a picture, or with --movie a movie)
//   --alpha A        with --movie: mosaic × A + frame × (1 − A), 0 to 1
//   --steady S       with --movie: steadiness of the frames (steadiness), 0 to 1
//   --size WxH       working size for this run (image_width × image_height)
//   --k N            tiles drawn from per cell for this run (search_num)
//   --repeat R       cells within which no photo repeats (repeat_distance)
//   --max-uses N     cells one photo may fill (max_uses)
//   --use-all        every photo in the mosaic (use_all)
//   --stats          print what the mosaic was made of
//   --seed N         seed of the random choices, for a reproducible mosaic
//   --color C        colour correction for this run (color_correction), 0 to 1
//   --gpu            compose with the GLSL pass in a hidden GL context
//   --print TILEPX   --out gets the mosaic at TILEPX pixels per tile, from the photos
//   --deepzoom DIR   the print-resolution mosaic as a deep-zoom folder
//   --help           describe the program
// New options are added as rows of the option table in batch_options.cpp.

#include <string>
#include <vector>

#include "library/load_progress.h"

namespace tessaline {

struct BatchOptions {
  bool help = false;
  std::string tiles_dir;  // empty: not given
  int tile_width = 0;     // 0: as configured
  int tile_height = 0;
  int grid_x = 0;  // 0: as configured
  int grid_y = 0;
  std::string target;    // empty: only load the library; "-1": a random tile
  std::string movie;     // empty: no movie; excludes `target`
  std::string out_path;  // given exactly when `target` or `movie` is
  bool has_alpha = false;
  double alpha = 1.0;   // given only with `movie`
  bool has_steady = false;
  double steady = 0.0;  // given only with `movie`
  int image_width = 0;  // 0: as configured
  int image_height = 0;
  int search_num = 0;        // 0: as configured
  int repeat_distance = -1;  // -1: as configured
  int max_uses = -1;         // -1: as configured
  bool use_all = false;      // true: on for this run; false: as configured
  bool stats = false;
  bool has_seed = false;
  unsigned int seed = 0;
  bool has_color = false;
  double color = 0.0;  // given only with `target` or `movie`
  bool gpu = false;
  int print_tile_px = 0;     // 0: --out gets the working-size mosaic
  std::string deepzoom_dir;  // empty: no deep-zoom export
};

// Pixels per tile of the deep-zoom export when --print gives none.
constexpr int kDefaultDeepZoomTilePx = 256;

// Parses the arguments after the program name. On failure returns false
// with one line in `error` naming the option or value and what was expected;
// `options` is then unspecified.
bool ParseBatchArguments(const std::vector<std::string>& args, BatchOptions& options,
                         std::string& error);

// Reads "WxH" (both decimal, 1 to `limit`, a lower-case or upper-case x
// between them, nothing else); false when the text is not such a pair.
bool ParseSizePair(const std::string& text, int limit, int& width, int& height);

// The usage text printed by --help and after a command-line error.
std::string BatchUsage();

// One line of the load's terminal progress display: a bar of `width` cells
// over the current stage and the stage's name as the status line gives it
// (LoadStageName), e.g. "[#####     ]  50% creating thumbnails".
std::string ProgressBarText(const LoadProgress& progress, int width);

// One line of the movie run's terminal progress display after `done` of
// `total` frames, e.g. "[#####     ]  50% frame 25 of 50"; with `total`
// unknown (0 or less) "frame 25" alone.
std::string MovieProgressText(int done, int total, int width);

// One line of the print export's terminal progress display at `fraction`
// (0 to 1) of `what`, e.g. "[#####     ]  50% print picture".
std::string ExportProgressText(double fraction, const std::string& what, int width);

}  // namespace tessaline
