#pragma once
// Offscreen render targets (framebuffer objects with one RGBA colour
// texture) and the synthesis pass that composes a whole mosaic into one.
//
// Coordinates: a target of width x height pixels is drawn with an
// orthographic projection of (0, 0) ... (width, height); output row 0 is
// cell row 0 and tile row 0, so the colour texture holds the mosaic top row
// first in memory, like the working image and the OpenCV tiles.
//
// Needs a current GL context with GLEW initialised and the framebuffer
// object extension (GUI thread).

#include <GL/glew.h>

#include "render/gl_object.h"
#include "render/texture.h"

namespace tessaline {

// One render target. Empty (framebuffer 0, size 0) until created.
struct OffscreenTarget {
  GlFramebuffer framebuffer;
  int width = 0;
  int height = 0;
  int channels = 0;   // 4 once created
  GlTexture texture;  // the offscreen colour texture kind
};

// Makes `target` width x height with a fresh colour texture. Without
// `force`, a target that already has that size is kept as it is (same
// names, same picture). A size of 0 or beyond GL_MAX_TEXTURE_SIZE gives
// false with one log line and an empty target; so does a framebuffer that GL
// does not accept as complete (its status line is logged). The caller's
// framebuffer binding is restored; texture 0 is left bound.
bool CreateOffscreenTarget(OffscreenTarget& target, int width, int height, bool force);

// Deletes the target's texture and framebuffer; the record becomes empty.
void DestroyOffscreenTarget(OffscreenTarget& target);

// Logs the status of the bound GL_FRAMEBUFFER_EXT as one line ("Framebuffer
// complete." or an "[ERROR] ..." line) and gives true when complete.
bool CheckFramebufferStatus();

// What one synthesis pass reads: the program (0 draws with none), the atlas
// and its layout, the cell table of div_x x div_y cells, and for colour
// correction the cells' mean colours (same grid) and the blend weight (0:
// none, and no means are read).
struct SynthesisInput {
  GLuint program = 0;
  GLuint atlas = 0;
  GLuint table = 0;
  GLuint means = 0;
  int color_weight = 0;
  AtlasLayout layout;
  int div_x = 0;
  int div_y = 0;
  // The size the cells are laid out in, the working size; 0 × 0: the
  // output's. An output smaller than it shows the mosaic reduced, each
  // pixel the tile's pixel at its place.
  int image_w = 0;
  int image_h = 0;
};

// Draws one width x height quad with the synthesis program into whatever
// framebuffer is bound. Uses texture units 0 (atlas), 1 (table) and 2
// (means); leaves them unbound and disabled, unit 0 active and no program
// in use.
void DrawMosaicSynthesis(int width, int height, const SynthesisInput& input);

// The offscreen synthesis pass into mipmap level `level` of `target`'s
// colour texture (level 0 is the whole target, level 1 half its size), then
// the smaller levels regenerated from it. The texture's base level becomes
// `level`, so that nothing above it is ever sampled. Restores the caller's
// framebuffer binding, viewport, matrices and enables. False with one log
// line when the target was never created or the level cannot be drawn into.
bool RenderMosaicOffscreen(const OffscreenTarget& target, int level, const SynthesisInput& input);

}  // namespace tessaline
