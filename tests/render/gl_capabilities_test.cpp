#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/gl_capabilities.h"
#include "render/gl_test_context.h"

namespace tessaline {
namespace {

TEST(GlCapabilities, NamesEachMissingPartWithWhatWasFound) {
  const std::string lacks = "this display's OpenGL lacks what tessaline needs : ";
  struct Case {
    GlCapabilities found;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{"4.5 (Compatibility Profile) Mesa 22.3.6", "4.50", true}, ""},
      {{"2.0 Mesa 22.3.6", "1.10", true}, ""},
      {{"2.1.2 NVIDIA 340", "1.20 NVIDIA via Cg compiler", true}, ""},
      {{"1.4 Mesa 22.3.6", "", true},
       lacks + "OpenGL 2.0 (found 1.4), GLSL 1.10 (found none)"},
      {{"2.0 Mesa 22.3.6", "", true}, lacks + "GLSL 1.10 (found none)"},
      {{"2.0", "1.00", true}, lacks + "GLSL 1.10 (found 1.00)"},
      {{"3.3", "3.30", false}, lacks + "framebuffer objects"},
      {{"", "", false},
       lacks + "OpenGL 2.0 (found none), GLSL 1.10 (found none), framebuffer objects"},
      {{"1.", "x.y", true}, lacks + "OpenGL 2.0 (found none), GLSL 1.10 (found none)"},
      {{"99999999999.0", "1.10", true}, lacks + "OpenGL 2.0 (found none)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.found.version + " / " + c.found.glsl_version);
    EXPECT_EQ(MissingGlText(c.found), c.text);
  }
}

// Under the test X server the context has all the program needs; the read
// leaves no GL error behind for the next caller to trip on.
TEST(GlCapabilities, TheTestContextHasEverythingAndIsLeftWithoutAnError) {
  GlTestContext gl;
  ASSERT_TRUE(gl.ok()) << gl.error();
  EXPECT_EQ(CheckCurrentGl(GLEW_OK), "");
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
}  // namespace tessaline
