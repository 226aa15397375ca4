#include <GL/glew.h>

#include "view/view_resources.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <utility>

#include "library/load_worker.h"
#include "mosaic/photo_mosaic.h"
#include "render/gl_capabilities.h"
#include "render/gl_mosaic_gpu.h"
#include "render/texture.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// The versions in the log; checked before any entry point beyond OpenGL 1.1
// is called: a missing one would crash the program instead of telling the
// user. Empty when the context has what the program needs.
std::string StartGlew() {
  const GLubyte* version = glGetString(GL_VERSION);
  view_log() << "OpenGL Ver. " << (version ? reinterpret_cast<const char*>(version) : "")
             << std::endl;
  const GLenum glew = glewInit();
  if (glew != GLEW_OK)
    view_log() << "GLEW Error : " << reinterpret_cast<const char*>(glewGetErrorString(glew))
               << std::endl;
  else
    view_log() << "GLEW OK : Glew Ver. "
               << reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)) << std::endl;
  if (glew != GLEW_OK || !glewIsSupported("GL_VERSION_2_0"))
    view_log() << "ERROR: Support for necessary OpenGL extensions missing." << std::endl;
  return CheckCurrentGl(glew);
}

}  // namespace

bool ViewResources::Initialize(const std::string& font_file, int font_size) {
  const std::string missing = StartGlew();
  if (!missing.empty()) {
    unusable_ = true;
    view_log() << missing << std::endl;
    host_.EndForUnusableGl(missing);
    return false;
  }
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  // A load running now uses the engine, whose GPU side is replaced below; a
  // re-created context is rare enough to wait for it.
  WaitForLoad();
  ReleaseForRestart();
  LoadPngTexture("texture/logo.png", objects_.logo);
  LoadPngTexture("texture/cursor.png", objects_.cursor);
  OpenFont(font_file, font_size);
  RegisterIcons();
  StartEngineGpu();
  host_.LayoutScene();
  return true;
}

// After FLTK re-created the context these names may be dead (deleting an
// unknown name does nothing) or still alive in a shared context; either way
// this runs before anything new is made, so no fresh name can be hit.
void ViewResources::ReleaseForRestart() {
  icons_.clear();
  objects_.Reset();
  scene_.selected_tile = 0;
  if (qxPhotoMosaic* engine = host_.Engine()) engine->SetGpu(nullptr);
}

void ViewResources::RegisterIcons() {
  // A second start-up begins with an empty list (ReleaseForRestart), so
  // every icon is listed once and the cell names stay above the icon names.
  first_cell_name_ = 5;
  host_.ForgetHover();
  fade_icon_ = -1;
  for (StartIcon& icon : host_.StartIcons()) {
    const int index =
        AddIcon(icon.picture, icon.alternate, std::move(icon.action), std::move(icon.state), true);
    if (icon.fade) fade_icon_ = index;
  }
}

int ViewResources::AddIcon(const std::string& picture, const std::string& alternate,
                           std::function<void()> action, std::function<bool()> state, bool shown) {
  if (!FileExists(picture)) return -1;
  GlTexture normal;
  GlTexture other;
  LoadPngTexture(picture, normal);
  if (!alternate.empty()) LoadPngTexture(alternate, other);
  ViewIcon icon;
  icon.texture = normal.name();
  icon.alternate_texture = other.name();
  icon.index = IconCount();
  icon.action = std::move(action);
  icon.state = std::move(state);
  icon.shown = shown;
  icons_.push_back(std::move(icon));
  objects_.icons.push_back(std::move(normal));
  objects_.icons.push_back(std::move(other));
  first_cell_name_ = IconCount() + 1;
  return IconCount() - 1;
}

void ViewResources::StartEngineGpu() {
  qxPhotoMosaic& engine = *host_.Engine();
  engine.SetGpu(std::make_unique<GlMosaicGpu>());
  engine.Gpu()->SetPictureMipmaps((host_.DrawFlags() & kDrawMipmapping) != 0);
  engine.Gpu()->BuildPrograms();
  engine.SetImageSize(engine.Geometry().ImageWidth(), engine.Geometry().ImageHeight());
  if (host_.Ready() && !engine.Target().path.empty()) {
    // The mosaic textures went with the old GPU side: make them again.
    engine.SetTarget(engine.Target().path);
    engine.GenerateMosaic();
  }
}

void ViewResources::ApplyPictureMipmaps() {
  MosaicGpu* gpu = host_.Engine()->Gpu();
  if (gpu == nullptr) return;
  context_.MakeGlContextCurrent();
  const bool on = (host_.DrawFlags() & kDrawMipmapping) != 0;
  gpu->SetPictureMipmaps(on);
  SetPictureMipmaps(objects_.selected_tile.name(), on);
}

void ViewResources::Release() {
  icons_.clear();
  scene_.selected_tile = 0;
  ReleaseInOwnContext(context_, objects_, [this] {
    if (qxPhotoMosaic* engine = host_.Engine()) engine->SetGpu(nullptr);
  });
}

void ViewResources::SetSelectedTile(GlTexture tile) {
  objects_.selected_tile = std::move(tile);
  scene_.selected_tile = objects_.selected_tile.name();
}

void ViewResources::ForgetSelectedTile() {
  objects_.selected_tile.Reset();
  scene_.selected_tile = 0;
}

}  // namespace tessaline
