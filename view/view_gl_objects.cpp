#include "view/view_gl_objects.h"

namespace tessaline {

void ViewGlObjects::Reset() {
  logo.Reset();
  cursor.Reset();
  selected_tile.Reset();
  icons.clear();
}

void ViewGlObjects::Forget() {
  logo.Release();
  cursor.Release();
  selected_tile.Release();
  for (GlTexture& icon : icons) icon.Release();
  icons.clear();
}

void ReleaseInOwnContext(GlContextHolder& holder, ViewGlObjects& objects,
                         const std::function<void()>& release_more) {
  if (!holder.HasGlContext()) {
    objects.Forget();
    return;
  }
  holder.MakeGlContextCurrent();
  objects.Reset();
  if (release_more) release_more();
}

}  // namespace tessaline
