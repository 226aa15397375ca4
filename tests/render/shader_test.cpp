#include "render/shader.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "render/gl_test_context.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

std::string AsText(const std::vector<char>& source) {
  return std::string(source.begin(), source.end());
}

TEST(PrepareShaderSource, TurnsAtIntoLineFeedAndDollarIntoNumberSign) {
  struct Row {
    std::string in;
    std::string out;  // with the terminating NUL
  };
  const std::vector<Row> rows = {
      {"", std::string(1, '\0')},
      {"$version 110@void main() {}", std::string("#version 110\nvoid main() {}") + '\0'},
      {"a@@b$$", std::string("a\n\nb##") + '\0'},
      {"plain # and \n stay", std::string("plain # and \n stay") + '\0'},
  };
  for (const Row& row : rows) EXPECT_EQ(AsText(PrepareShaderSource(row.in)), row.out) << row.in;
}

class ShaderTest : public ::testing::Test {
 protected:
  // One context for the whole suite: a loaded X server may refuse rapid
  // reconnections.
  static void SetUpTestSuite() { gl_ = std::make_unique<GlTestContext>(); }
  static void TearDownTestSuite() { gl_.reset(); }

  void SetUp() override { ASSERT_TRUE(gl_->ok()) << gl_->error(); }
  static inline std::unique_ptr<GlTestContext> gl_;
};

TEST_F(ShaderTest, BuildPrintsProgressAndGivesAProgram) {
  testing::internal::CaptureStdout();
  const ShaderProgram built =
      BuildShaderProgram(kVertexShaderSource, kResizeFragmentSource, "image resize");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "GLSL compile : vertex shader (image resize)\n"
            "GLSL compile : fragment shader (image resize)\n"
            "GLSL link (image resize)\n");
  EXPECT_NE(built.program.name(), 0u);
  EXPECT_EQ(built.vertex_label, "from char");
  EXPECT_EQ(built.fragment_label, "from char");
  EXPECT_EQ(built.name, "image resize");
}

TEST_F(ShaderTest, PreprocessorLinesWrittenOnOneLineCompile) {
  // Without the '$' and '@' rule the "#define" would swallow main.
  const GLuint shader = CompileShader(
      GL_FRAGMENT_SHADER, PrepareShaderSource("$define GREEN vec4(0.0, 1.0, 0.0, 1.0)@void "
                                              "main(void) { gl_FragColor = GREEN; }")
                              .data());
  EXPECT_NE(shader, 0u);
  glDeleteShader(shader);
}

TEST_F(ShaderTest, FailingCompileLogsTheDriverLogAndGivesProgramZero) {
  testing::internal::CaptureStdout();
  const ShaderProgram built = BuildShaderProgram(
      kVertexShaderSource, "void main(void) { gl_FragColor = undefined_name; }", "broken");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(built.program.name(), 0u);
  // One log message, the driver's lines inside it.
  const std::vector<std::string> history = LogHistory();
  const auto failed = std::find_if(history.rbegin(), history.rend(), [](const std::string& entry) {
    return entry.rfind(" Compile failed:\n", 0) == 0;
  });
  ASSERT_NE(failed, history.rend()) << out;
  EXPECT_NE(failed->find("undefined_name"), std::string::npos)
      << "the driver's log follows: " << *failed;
  EXPECT_NE(out.find(*failed), std::string::npos) << "the console shows it as logged: " << out;
  EXPECT_NE(out.find("GLSL link (broken)\n"), std::string::npos) << "the build still goes on";
}

TEST_F(ShaderTest, FailingLinkGivesZero) {
  // Both compile, but no shader has a main function for the fragment stage.
  const GLuint vertex = CompileShader(GL_VERTEX_SHADER, kVertexShaderSource);
  const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, "vec4 Colour() { return vec4(1.0); }");
  ASSERT_NE(vertex, 0u);
  ASSERT_NE(fragment, 0u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(LinkProgram(vertex, fragment), 0u);
  EXPECT_FALSE(testing::internal::GetCapturedStdout().empty()) << "the link log is printed";
  glDeleteShader(vertex);
  glDeleteShader(fragment);
}

TEST_F(ShaderTest, MosaicProgramsBuildWithTheirUniforms) {
  testing::internal::CaptureStdout();
  const MosaicPrograms programs = BuildMosaicPrograms();
  testing::internal::GetCapturedStdout();
  ASSERT_NE(programs.synthesis.program.name(), 0u);
  ASSERT_NE(programs.resize.program.name(), 0u);
  EXPECT_EQ(programs.synthesis.name, "mosaic synthesis");
  EXPECT_EQ(programs.resize.name, "image resize");
  for (const char* uniform :
       {"SubTex", "TblTex", "SubW", "SubH", "SubN", "SubP", "SubR", "DivX", "DivY", "ImgW", "ImgH"})
    EXPECT_GE(glGetUniformLocation(programs.synthesis.program.name(), uniform), 0) << uniform;
  EXPECT_GE(glGetUniformLocation(programs.resize.program.name(), "ImgTex"), 0);
}

}  // namespace
}  // namespace tessaline
