#pragma once
// The GL objects the view makes itself (interface pictures, icons, the
// selected cell's tile), held together so that one call frees them, and
// the rule for freeing them: only with the context they were made in
// current. A name deleted while another context is current deletes nothing
// of ours (and may hit one of that context's objects); the process ending
// with std::exit deletes nothing at all.

#include <functional>
#include <vector>

#include "render/gl_object.h"

namespace tessaline {

struct ViewGlObjects {
  GlTexture logo;
  GlTexture cursor;
  GlTexture selected_tile;
  std::vector<GlTexture> icons;  // normal and alternate picture of each icon

  // Deletes every object; their context must be current.
  void Reset();
  // Drops every name without deleting: their context is gone.
  void Forget();
};

// What the release needs of the window that holds the context.
class GlContextHolder {
 public:
  virtual ~GlContextHolder() = default;
  virtual bool HasGlContext() const = 0;
  virtual void MakeGlContextCurrent() = 0;
};

// Makes the holder's context current, then frees `objects` and runs
// `release_more` (the engine's GPU side). Without a context the names are
// only forgotten and `release_more` is not run.
void ReleaseInOwnContext(GlContextHolder& holder, ViewGlObjects& objects,
                         const std::function<void()>& release_more);

}  // namespace tessaline
