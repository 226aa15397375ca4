#include "view/view_gl_objects.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

#include "render/gl_test_context.h"

namespace tessaline {
namespace {

// The view's context stands in a hidden context; another one is current
// when the release starts, as when the process ends from anywhere.
class HiddenHolder : public GlContextHolder {
 public:
  HiddenHolder(HiddenGlContext& context, bool has) : context_(context), has_(has) {}
  bool HasGlContext() const override { return has_; }
  void MakeGlContextCurrent() override { context_.MakeCurrent(); }

 private:
  HiddenGlContext& context_;
  bool has_;
};

// A texture name that the current context knows (a generated name becomes
// a texture once bound).
GlTexture BoundTexture() {
  GlTexture texture = GlTexture::Generate();
  glBindTexture(GL_TEXTURE_2D, texture.name());
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

TEST(ViewGlObjects, ReleasedInTheirOwnContextOrOnlyForgotten) {
  for (const bool has_context : {true, false}) {
    SCOPED_TRACE(has_context ? "with its context" : "context gone");
    GlTestContext view_context;
    ASSERT_TRUE(view_context.ok()) << view_context.error();
    ViewGlObjects objects;
    objects.logo = BoundTexture();
    objects.cursor = BoundTexture();
    objects.selected_tile = BoundTexture();
    objects.icons.push_back(BoundTexture());
    const std::vector<GLuint> names = {objects.logo.name(), objects.cursor.name(),
                                       objects.selected_tile.name(), objects.icons[0].name()};
    const GlTexture sentinel = BoundTexture();  // known only to the view's context

    GlTestContext other;
    ASSERT_TRUE(other.ok()) << other.error();
    HiddenHolder holder(view_context, has_context);
    bool more_in_view_context = false;
    bool more_ran = false;
    ReleaseInOwnContext(holder, objects, [&] {
      more_ran = true;
      more_in_view_context = glIsTexture(sentinel.name()) == GL_TRUE;
    });
    EXPECT_FALSE(objects.logo || objects.cursor || objects.selected_tile);
    EXPECT_TRUE(objects.icons.empty());
    EXPECT_EQ(more_ran, has_context);
    EXPECT_EQ(more_in_view_context, has_context);

    ASSERT_TRUE(view_context.MakeCurrent());
    for (GLuint name : names) EXPECT_EQ(glIsTexture(name) == GL_TRUE, !has_context) << name;
  }
}

}  // namespace
}  // namespace tessaline
