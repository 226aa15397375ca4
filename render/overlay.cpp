#include "render/overlay.h"

#include <GL/glew.h>

#include <FTGL/ftgl.h>
#include <GL/freeglut.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <ostream>

#include "settings/log_stream.h"

namespace tessaline {

namespace {

// Metrics of GLUT_BITMAP_HELVETICA_18 as the overlay uses them.
constexpr int kGlutCharWidth = 10;
constexpr double kGlutLineHeight = 24;
constexpr double kIconPitch = 2.4;  // distance between icon centres, in icon half-sizes
constexpr double kOverlayZ = 0.1;   // icons and logo, over every layer
constexpr double kCursorZ = 0.12;   // the big cursor, over the icons

std::uint32_t SteadyMilliseconds() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Texturing with GL_REPLACE: the overlay pictures show their own colours.
void BeginReplaceTexturing() {
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}

void EndTexturing() {
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
}

// An upright picture over `r` (scene units, y down) at depth z.
void PictureQuad(const ViewRect& r, double z) {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex3d(r.left, r.top, z);
  glTexCoord2f(0, 1);
  glVertex3d(r.left, r.bottom, z);
  glTexCoord2f(1, 1);
  glVertex3d(r.right, r.bottom, z);
  glTexCoord2f(1, 0);
  glVertex3d(r.right, r.top, z);
  glEnd();
}

void DrawConsoleBox(const ConsoleBox& box) {
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColor4d(0.1, 0.1, 0.1, 0.5);
  glBegin(GL_POLYGON);
  glVertex2d(box.left, box.top);
  glVertex2d(box.left, box.bottom);
  glVertex2d(box.right, box.bottom);
  glVertex2d(box.right, box.top);
  glEnd();
}

void DrawLinesWithFont(const std::vector<std::string>& lines, double x, double y, bool centred,
                       const OverlayFont& font) {
  const TextMetrics m = font.Metrics();
  glColor4d(1, 1, 1, 1);
  for (const std::string& line : lines) {
    glRasterPos2d(TextLineStart(x, line.size(), centred, m), y);
    font.font()->Render(line.c_str(), -1, FTPoint(), FTPoint(), FTGL::RENDER_ALL);
    y -= m.line_height;
  }
}

void DrawLinesWithGlut(const std::vector<std::string>& lines, double x, double y, bool centred,
                       bool glow) {
  const TextMetrics m = MetricsOf(nullptr);
  for (const std::string& line : lines) {
    const double x0 = TextLineStart(x, line.size(), centred, m);
    if (glow) {
      DrawGlowText(GLUT_BITMAP_HELVETICA_18, line, x0, y);
    } else {
      glColor4d(1, 1, 1, 1);
      glRasterPos2d(x0, y);
      glutBitmapString(GLUT_BITMAP_HELVETICA_18,
                       reinterpret_cast<const unsigned char*>(line.c_str()));
    }
    y -= m.line_height;
  }
}

}  // namespace

OverlayFont::OverlayFont() = default;
OverlayFont::~OverlayFont() = default;

int OverlayFont::OpenFont(const std::string& path, int size) {
  font_ = std::make_unique<FTPixmapFont>(path.c_str());
  if (font_->Error() != 0) {
    view_log() << "Failed to open font " << path << std::endl;
    ready_ = false;
    return 1;
  }
  ready_ = true;
  size_ = size;
  font_->FaceSize(static_cast<unsigned>(std::max(size, 1)), 72);
  return 0;
}

TextMetrics OverlayFont::Metrics() const {
  if (!ready_) return TextMetrics{};
  TextMetrics m;
  m.ftgl = true;
  m.char_width = static_cast<int>(font_->FaceSize()) / 2;
  m.line_height = font_->LineHeight();
  return m;
}

TextMetrics MetricsOf(const OverlayFont* font) {
  if (font != nullptr && font->ready()) return font->Metrics();
  return TextMetrics{false, kGlutCharWidth, kGlutLineHeight};
}

double TextLineStart(double x, std::size_t length, bool centred, const TextMetrics& metrics) {
  if (!centred || length == 0) return x;
  if (metrics.ftgl) return x - metrics.char_width * static_cast<double>(length / 2);
  return x - static_cast<double>(length) * 0.5 * kGlutCharWidth;
}

ConsoleBox ConsoleBoxGeometry(const std::vector<std::string>& lines, int window_height,
                              const TextMetrics& metrics) {
  std::size_t longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, line.size());
  ConsoleBox box;
  box.right = static_cast<double>(longest) * metrics.char_width + 2 + 10;
  box.top = window_height - 2;
  box.bottom = box.top - static_cast<double>(lines.size()) * metrics.line_height - 5;
  return box;
}

void DrawTextLines(const std::vector<std::string>& lines, int window_width, int window_height,
                   double x, double y, bool background, bool centred, bool glow,
                   const OverlayFont* font) {
  glDisable(GL_LIGHTING);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluOrtho2D(0, window_width, 0, window_height);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glRasterPos2d(x, y);

  if (font != nullptr && font->ready()) {
    DrawLinesWithFont(lines, x, y, centred, *font);
  } else {
    DrawLinesWithGlut(lines, x, y, centred, glow);
  }
  if (background) DrawConsoleBox(ConsoleBoxGeometry(lines, window_height, MetricsOf(font)));

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

void DrawGlowText(void* glut_font, const std::string& text, double x, double y) {
  // Grey by distance from the centre: 0 -> 1.0, 1 -> 0.85, 2 -> 0.7.
  static const double kGrey[] = {1.0, 0.85, 0.7};
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = -1; dy <= 1; ++dy) {
      const double g = kGrey[std::abs(dx) + std::abs(dy)];
      glColor4d(g, g, g, g);
      glRasterPos2d(x + dx, y + dy);
      glutBitmapString(glut_font, bytes);
    }
  }
}

void DrawLogConsole(const std::vector<std::string>& lines, int window_width, int window_height,
                    const OverlayFont* font) {
  DrawTextLines(lines, window_width, window_height, 10, window_height - 20, true, false, false,
                font);
}

void DrawInfoLines(const std::vector<std::string>& lines, int window_width, int window_height,
                   const OverlayFont* font) {
  const std::vector<std::string> reversed(lines.rbegin(), lines.rend());
  glColor4d(1, 1, 1, 1);
  DrawTextLines(reversed, window_width, window_height, window_width / 2, 40, false, true, true,
                font);
}

std::vector<PlacedIcon> PlaceIcons(const ViewIconList& icons, const ViewRect& visible,
                                   const IconLayout& layout) {
  const double width = visible.right - visible.left;
  const double height = visible.bottom - visible.top;
  const double s = std::min(width * layout.icon_width, height * layout.icon_height);
  const double first_x = visible.left + width * layout.icon_left_margin;
  const double y = visible.top + height * layout.icon_top_margin;
  std::vector<PlacedIcon> placed;
  double x = first_x;
  for (const ViewIcon& icon : icons) {
    if (!icon.shown) continue;
    const bool alternate = icon.state && icon.state();
    PlacedIcon p;
    p.index = icon.index;
    p.texture = alternate ? icon.alternate_texture : icon.texture;
    p.place = IconPlacement{x, y, s, s};
    placed.push_back(p);
    x += kIconPitch * s;
  }
  // The row grows to the right of the first icon; with the usual margin
  // (0.96) every icon after the first would lie outside the view and could
  // never be clicked. A row that would leave the view moves left until it
  // ends where a lone first icon would end.
  if (!placed.empty()) {
    const double row_end = placed.back().place.x + s;
    const double overflow =
        row_end > visible.right ? row_end - std::min(first_x + s, visible.right) : 0.0;
    for (PlacedIcon& p : placed) p.place.x -= overflow;
  }
  return placed;
}

void DrawIcons(const ViewIconList& icons, const ViewRect& visible, const IconLayout& layout,
               int hover_name, bool picking) {
  BeginReplaceTexturing();
  for (const PlacedIcon& p : PlaceIcons(icons, visible, layout)) {
    if (picking) glLoadName(static_cast<GLuint>(p.index + 1));
    DrawIcon(p.place, p.texture, hover_name == p.index, picking);
  }
  EndTexturing();
}

void DrawIcon(const IconPlacement& place, GLuint texture, bool highlight, bool picking) {
  if (texture == 0) return;
  const double f = highlight ? IconPlacement::kHighlightFactor : 1.0;
  const double w = place.half_width * f;
  const double h = place.half_height * f;
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4d(0, 0, 0, 0.5);
  if (picking) {
    glBegin(GL_QUADS);
    glVertex2d(place.x - w, place.y - h);
    glVertex2d(place.x - w, place.y + h);
    glVertex2d(place.x + w, place.y + h);
    glVertex2d(place.x + w, place.y - h);
    glEnd();
    return;
  }
  PictureQuad(ViewRect{place.x - w, place.y - h, place.x + w, place.y + h}, kOverlayZ);
}

ViewRect LogoSquare(const ViewRect& visible) {
  ViewRect r = visible;
  const double dx = r.right - r.left;
  const double dy = r.bottom - r.top;
  if (dx > dy) r.left += dx - dy;
  if (dx < dy) r.top += dy - dx;
  return r;
}

void DrawLogo(const ViewRect& visible, GLuint texture) {
  BeginReplaceTexturing();
  if (texture != 0) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor4d(0, 0, 0, 1);
    PictureQuad(LogoSquare(visible), kOverlayZ);
  }
  EndTexturing();
}

ViewRect BigCursorRect(const ViewRect& visible, int window_width, int window_height, int mouse_x,
                       int mouse_y) {
  const double ux = (visible.right - visible.left) / std::max(window_width, 1);
  const double uy = (visible.bottom - visible.top) / std::max(window_height, 1);
  ViewRect r;
  r.left = visible.left + mouse_x * ux;
  r.top = visible.top + mouse_y * uy;
  r.right = r.left + kBigCursorPixels * ux;
  r.bottom = r.top + kBigCursorPixels * uy;
  return r;
}

void DrawBigCursor(const ViewRect& visible, int window_width, int window_height, int mouse_x,
                   int mouse_y, GLuint texture) {
  if (texture == 0) return;
  BeginReplaceTexturing();
  glBindTexture(GL_TEXTURE_2D, texture);
  PictureQuad(BigCursorRect(visible, window_width, window_height, mouse_x, mouse_y), kCursorZ);
  EndTexturing();
}

std::string FrameRateText(double frames_per_second) {
  char text[64];
  std::snprintf(text, sizeof text, "%3.1f [fps]", frames_per_second);
  return text;
}

FrameRateMeter::FrameRateMeter(Clock clock, Sink show)
    : clock_(clock ? std::move(clock) : Clock(SteadyMilliseconds)), show_(std::move(show)) {
  previous_ms_ = clock_();
}

std::string FrameRateMeter::MeasureFrameRate() {
  if (++count_ < interval_) return {};
  const std::uint32_t now = clock_();
  // Unsigned difference: right across the 2^32 wrap of the clock.
  const double seconds = static_cast<std::uint32_t>(now - previous_ms_) * 0.001;
  // IEEE division: 0 elapsed gives +inf, which the text shows as "inf".
  const double rate = seconds > 0 ? 1.0 / seconds : std::numeric_limits<double>::infinity();
  std::string text = FrameRateText(rate);
  if (show_) show_(text);
  count_ = 0;
  previous_ms_ = clock_();
  return text;
}

}  // namespace tessaline
