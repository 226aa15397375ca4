#pragma once
// Flat overlays drawn over the mosaic view: lines of text (the log console
// and the information lines of the shown picture), the icon buttons, the
// logo and the big cursor picture; and the frame-rate meter.
//
// Coordinate spaces: text is placed in window pixels with the origin at the
// bottom left (the GL raster convention); icons, the logo and the cursor are
// placed in scene units (working-image pixels, y down) inside the visible
// rectangle of the frame. The arithmetic of every placement is a plain
// function without GL so it can be tested alone; the Draw* functions need a
// current GL context on the GUI thread and restore texturing to "texture 0,
// GL_TEXTURE_2D disabled" before they return.
//
// Text uses the program-wide FTGL pixmap font when it is open, otherwise the
// GLUT bitmap font GLUT_BITMAP_HELVETICA_18 (glutInit must have run once in
// the process before that fallback draws).

#include <GL/glew.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FTPixmapFont;

namespace tessaline {

// Bits of the view's draw_flags, read by the drawing passes and the view's
// animations. Bits 0 to 7 are the Draw menu's toggles, in its order.
enum DrawFlag : int {
  kDrawIcons = 1,
  kDrawLogo = 2,
  kDrawBigCursor = 4,
  kDrawImageInfo = 8,
  kDrawAround = 16,
  kDrawMipmapping = 32,  // target pictures and tiles are sampled through mipmaps
  kDrawTileElevating = 64,
  kDrawZoomWithSelected = 128,
  // No menu toggle: only from the "draw" key. With kDrawZoomWithSelected the
  // zoom starts from the lifted tile's size.
  kDrawZoomFromLiftedTile = 256,
  kDrawLogConsole = 512,
};

// A rectangle in scene units, y down: top < bottom when not empty.
struct ViewRect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

// Character width and line height of the text in use, in window pixels.
struct TextMetrics {
  bool ftgl = false;  // the FTGL font draws; otherwise the GLUT fallback
  int char_width = 10;
  double line_height = 24;
};

// Owner of an FTGL pixmap font (the view holds one). Opening a font replaces
// the previous one. GUI thread only; the font object needs no GL context to be
// created but drawing with it does.
class OverlayFont {
 public:
  OverlayFont();
  ~OverlayFont();
  OverlayFont(const OverlayFont&) = delete;
  OverlayFont& operator=(const OverlayFont&) = delete;

  // Loads the font file at `size` points (72 dpi). 0 on success; 1 on
  // failure, after logging "Failed to open font <path>" on view_log() and
  // clearing the ready flag.
  int OpenFont(const std::string& path, int size);
  bool ready() const { return ready_; }
  int size() const { return size_; }
  // FTGL metrics when ready, otherwise those of GLUT_BITMAP_HELVETICA_18.
  TextMetrics Metrics() const;
  // The font, or null when not ready.
  FTPixmapFont* font() const { return ready_ ? font_.get() : nullptr; }

 private:
  std::unique_ptr<FTPixmapFont> font_;
  bool ready_ = false;
  int size_ = 0;
};

// Metrics of `font`, or of the GLUT fallback when `font` is null or not ready.
TextMetrics MetricsOf(const OverlayFont* font);

// Window x where a line starts: `x`, or, when centred and the line is not
// empty, x - char width * (length / 2) (integer halving) with the FTGL font
// and x - length * 0.5 * 10 with the GLUT font.
double TextLineStart(double x, std::size_t length, bool centred, const TextMetrics& metrics);

// The translucent box behind the log console, window pixels, origin bottom
// left: left = 2, right = longest line * char width + 12, top = height - 2,
// bottom = top - line count * line height - 5.
struct ConsoleBox {
  double left = 2;
  double right = 0;
  double top = 0;
  double bottom = 0;
};
ConsoleBox ConsoleBoxGeometry(const std::vector<std::string>& lines, int window_height,
                              const TextMetrics& metrics);

// Draws `lines` from (x, y) downwards (window pixels, origin bottom left),
// one line height apart; optionally centred on x, with a soft outline (GLUT
// font only) and with the console box. Keeps the projection and model-view
// matrices; leaves GL_MODELVIEW selected.
void DrawTextLines(const std::vector<std::string>& lines, int window_width, int window_height,
                   double x, double y, bool background, bool centred, bool glow,
                   const OverlayFont* font);

// Draws `text` with a GLUT bitmap font nine times around (x, y), grey at the
// offsets and white in the middle, so it stays readable over any picture.
void DrawGlowText(void* glut_font, const std::string& text, double x, double y);

// The log console: `lines` oldest first at (10, height - 20) with its box.
void DrawLogConsole(const std::vector<std::string>& lines, int window_width, int window_height,
                    const OverlayFont* font);

// The information lines of the shown picture, last line first, centred at
// (width / 2, 40) with the outline.
void DrawInfoLines(const std::vector<std::string>& lines, int window_width, int window_height,
                   const OverlayFont* font);

// One icon button. Textures are GL names owned by the view; 0 means "none".
struct ViewIcon {
  GLuint texture = 0;            // the picture shown normally
  GLuint alternate_texture = 0;  // shown while `state` answers true
  int index = 0;                 // place in the icon list; picking name index + 1
  std::function<void()> action;  // run when the icon is clicked
  std::function<bool()> state;   // may be empty: always the normal picture
  bool shown = true;             // drawn and pickable only when set
};
using ViewIconList = std::vector<ViewIcon>;

// Icon placement keys: fractions of the visible rectangle.
struct IconLayout {
  double icon_width = 0.03;        // half-size candidate = visible width * value
  double icon_height = 0.03;       // half-size candidate = visible height * value
  double icon_left_margin = 0.96;  // first centre x = left + visible width * value
  double icon_top_margin = 0.04;   // centre y = top + visible height * value
};

// Where an icon is drawn, scene units. Highlighted icons grow by 1.2.
struct IconPlacement {
  double x = 0;
  double y = 0;
  double half_width = 0;
  double half_height = 0;
  static constexpr double kHighlightFactor = 1.2;
};

// A shown icon with its place and the picture to draw (0: draws nothing but
// still takes its place in the row).
struct PlacedIcon {
  int index = 0;
  GLuint texture = 0;
  IconPlacement place;
};

// The row of shown icons: s = min(width * icon_width, height * icon_height);
// the first centre at (left + width * left margin, top + height * top
// margin); each shown icon moves the next 2.4 * s to the right; hidden icons
// are skipped without moving. Runs the state queries to choose pictures.
std::vector<PlacedIcon> PlaceIcons(const ViewIconList& icons, const ViewRect& visible,
                                   const IconLayout& layout);

// Draws the icon row; `hover_name` (an icon index, -1 for none) is drawn
// enlarged. In picking form each icon is drawn under the GL name index + 1
// as a flat 2D quad; otherwise textured at z = 0.1.
void DrawIcons(const ViewIconList& icons, const ViewRect& visible, const IconLayout& layout,
               int hover_name, bool picking);
void DrawIcon(const IconPlacement& place, GLuint texture, bool highlight, bool picking);

// The logo square: the visible rectangle cut to a square at its right end
// (wider than tall) or bottom end (taller than wide).
ViewRect LogoSquare(const ViewRect& visible);
void DrawLogo(const ViewRect& visible, GLuint texture);

// The big cursor picture: a square of kBigCursorPixels window pixels whose
// top left corner is at the mouse position (window pixels, y down), given
// in scene units of the visible rectangle.
constexpr int kBigCursorPixels = 48;
ViewRect BigCursorRect(const ViewRect& visible, int window_width, int window_height, int mouse_x,
                       int mouse_y);
void DrawBigCursor(const ViewRect& visible, int window_width, int window_height, int mouse_x,
                   int mouse_y, GLuint texture);

// "%3.1f [fps]" of a rate; an infinite rate formats as "inf [fps]".
std::string FrameRateText(double frames_per_second);

// Measures the frame rate once per idle step. The clock gives milliseconds
// that may wrap around at 2^32; differences are taken unsigned. GUI thread.
class FrameRateMeter {
 public:
  using Clock = std::function<std::uint32_t()>;
  using Sink = std::function<void(const std::string&)>;

  // `clock` defaults to a steady millisecond clock; `show` (may be empty)
  // receives each text, e.g. the main window's SetStatusText.
  explicit FrameRateMeter(Clock clock = {}, Sink show = {});

  // Counts a call; when the interval (1 call) is reached, returns the rate
  // text since the previous measurement and hands it to `show`. Returns an
  // empty string on calls that do not measure.
  std::string MeasureFrameRate();

 private:
  Clock clock_;
  Sink show_;
  int count_ = 0;
  int interval_ = 1;
  std::uint32_t previous_ms_ = 0;
};

}  // namespace tessaline
