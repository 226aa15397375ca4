#pragma once
// ViewResources: the view's GL start-up and what it makes in the view's
// context: the interface pictures (logo, cursor), the icon buttons, the
// overlay font, the selected cell's tile, and the engine's GPU side
// (programs, offscreen targets, the picture textures' mipmaps). It runs the
// start-up whenever the view's context is new and frees everything with
// that context current. The icons' pictures, actions and states, and the
// engine, come from the host. GUI thread, inside the view's context.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/overlay.h"
#include "render/view_scene.h"
#include "view/view_gl_objects.h"

namespace tessaline {

class qxPhotoMosaic;

// An icon button the start-up registers (see AddIcon).
struct StartIcon {
  std::string picture;
  std::string alternate;  // empty: none
  std::function<void()> action;
  std::function<bool()> state;  // shows the alternate picture while true
  bool fade = false;            // the fade icon, which also acts on press
};

// What the start-up asks of the view.
class ViewResourcesHost {
 public:
  virtual ~ViewResourcesHost() = default;
  // The engine in use; null only while the view is torn down.
  virtual qxPhotoMosaic* Engine() = 0;
  virtual int DrawFlags() const = 0;
  // A tile library is loaded and a mosaic was made.
  virtual bool Ready() const = 0;
  // The context lacks what the program needs (`message`, already logged).
  virtual void EndForUnusableGl(const std::string& message) = 0;
  // Rest pose of the scene for the engine's image with its textures.
  virtual void LayoutScene() = 0;
  // The icon buttons, in their order on screen.
  virtual std::vector<StartIcon> StartIcons() = 0;
  // The icon list is made anew: no name stays under the cursor.
  virtual void ForgetHover() = 0;
};

class ViewResources {
 public:
  // `context` holds the view's GL context; `scene` shows the selected tile.
  ViewResources(ViewScene& scene, GlContextHolder& context, ViewResourcesHost& host)
      : scene_(scene), context_(context), host_(host) {}

  // The start-up, run by the view's draw whenever its context is new
  // (current then). False, with the host told, when the context lacks what
  // the program needs; Unusable() is true from then on.
  bool Initialize(const std::string& font_file, int font_size);
  bool Unusable() const { return unusable_; }
  // 0 when the font opened, 1 otherwise.
  int OpenFont(const std::string& path, int size) { return font_.OpenFont(path, size); }
  // Registers an icon button; the alternate picture is shown while `state`
  // answers true. Returns the icon's index, -1 when `picture` is missing.
  int AddIcon(const std::string& picture, const std::string& alternate,
              std::function<void()> action, std::function<bool()> state, bool shown);
  // Gives the engine a GPU side in this context (programs, offscreen
  // targets and the cell table) and makes a mosaic on show again.
  void StartEngineGpu();
  // Gives the "Mipmapping" toggle to the picture textures on show; before
  // the first draw there are none, and StartEngineGpu applies the flag.
  void ApplyPictureMipmaps();
  // Frees every GL object here and the engine's GPU side with the view's
  // context current; without a context only forgets them.
  void Release();

  // The selected cell's tile, shown by the scene.
  void SetSelectedTile(GlTexture tile);
  void ForgetSelectedTile();

  const ViewIconList& Icons() const { return icons_; }
  int IconCount() const { return static_cast<int>(icons_.size()); }
  int FadeIcon() const { return fade_icon_; }
  // Picking names from here on are mosaic cells; below, icons.
  int FirstCellName() const { return first_cell_name_; }
  const ViewGlObjects& Objects() const { return objects_; }
  const OverlayFont& Font() const { return font_; }

 private:
  // Frees what an earlier start-up made, before anything new is made.
  void ReleaseForRestart();
  void RegisterIcons();

  ViewScene& scene_;
  GlContextHolder& context_;
  ViewResourcesHost& host_;
  ViewGlObjects objects_;  // objects_.selected_tile is scene_.selected_tile
  ViewIconList icons_;
  OverlayFont font_;  // the font of the text the frame draws
  int fade_icon_ = -1;
  int first_cell_name_ = 5;
  bool unusable_ = false;
};

}  // namespace tessaline
