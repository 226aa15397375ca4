#include <GL/glew.h>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "library/sub_image.h"
#include "match/assignment.h"
#include "mosaic/color_correction.h"
#include "mosaic/compose.h"
#include "render/gl_mosaic_gpu.h"
#include "render/gl_test_context.h"
#include "render/offscreen.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// Tile t's pixel (x, y): blue and green carry t (low byte, high byte plus a
// column term), red a row term, so a wrong tile, a wrong column or a wrong
// row within the right tile all change the bytes.
cv::Vec3b TilePixel(int t, int x, int y) {
  return cv::Vec3b(static_cast<unsigned char>(t & 255),
                   static_cast<unsigned char>(((t >> 8) + 13 * x) & 255),
                   static_cast<unsigned char>((17 * y + 5 * x + 3 * t) & 255));
}

SubImageStore MakeLibrary(int tiles, int sw, int sh) {
  SubImageStore store;
  store.Reset(sw, sh);
  cv::Mat tile(sh, sw, CV_8UC3);
  for (int t = 0; t < tiles; ++t) {
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) tile.at<cv::Vec3b>(y, x) = TilePixel(t, x, y);
    store.Add(tile);
  }
  return store;
}

// Spreads the library over the cells (a stride prime to the tile count) and
// puts the listed indices first, so the interesting ones are sure to show.
std::vector<int> MakeAssignment(int cells, int tiles, const std::vector<int>& first) {
  std::vector<int> assignment(static_cast<std::size_t>(cells));
  for (int c = 0; c < cells; ++c) assignment[c] = static_cast<int>((c * 7919LL + 11) % tiles);
  for (std::size_t i = 0; i < first.size() && i < assignment.size(); ++i) assignment[i] = first[i];
  return assignment;
}

std::vector<unsigned char> CellTable(const std::vector<int>& assignment) {
  std::vector<unsigned char> bytes(assignment.size() * 4);
  for (std::size_t c = 0; c < assignment.size(); ++c) PackTileIndex(assignment[c], &bytes[c * 4]);
  return bytes;
}

// Where two pictures first differ, for the failure message.
std::string FirstDifference(const cv::Mat& gpu, const cv::Mat& cpu) {
  if (gpu.size() != cpu.size() || gpu.type() != cpu.type()) return "sizes or types differ";
  for (int y = 0; y < gpu.rows; ++y)
    for (int x = 0; x < gpu.cols; ++x)
      if (gpu.at<cv::Vec3b>(y, x) != cpu.at<cv::Vec3b>(y, x)) {
        std::ostringstream text;
        text << "first difference at (" << x << ", " << y << "): gpu " << gpu.at<cv::Vec3b>(y, x)
             << ", cpu " << cpu.at<cv::Vec3b>(y, x);
        return text.str();
      }
  return "";
}

// A GL context with a GPU side whose programs are built.
class SynthesisTest : public ::testing::Test {
 protected:
  // One context for the whole suite: a loaded X server may refuse rapid
  // reconnections.
  static void SetUpTestSuite() { gl_ = std::make_unique<GlTestContext>(); }
  static void TearDownTestSuite() { gl_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(gl_->ok()) << gl_->error();
    gpu_.BuildPrograms();
    ASSERT_NE(gpu_.Programs().synthesis.program.name(), 0u);
  }

  // Uploads library, grid, assignment and (with a weight) the cell means,
  // and renders target `index`.
  bool Render(const SubImageStore& store, const std::vector<int>& assignment, int image_w,
              int image_h, int index = kCurrentMosaic, const CellTint& tint = CellTint()) {
    const int div_x = image_w / store.ThumbWidth();
    const int div_y = image_h / store.ThumbHeight();
    gpu_.CreateOffscreenTargets(image_w, image_h, div_x, div_y);
    gpu_.CreateCellTable(div_x, div_y);
    if (!gpu_.UploadAtlas(store.Composite(), store.ThumbWidth(), store.ThumbHeight())) return false;
    gpu_.UploadCellTable(CellTable(assignment));
    gpu_.UploadCellMeans(tint.means);
    gpu_.SetColorWeight(tint.weight);
    return gpu_.RenderMosaic(index);
  }

  static inline std::unique_ptr<GlTestContext> gl_;
  GlMosaicGpu gpu_;
};

struct SynthesisCase {
  const char* label;
  int sw, sh, tiles, image_w, image_h;
  std::vector<int> first;  // tile indices given to the first cells
  int atlas_limit;         // 0: GL's own maximum texture size
};

TEST_F(SynthesisTest, MatchesTheCpuCompositionByteForByte) {
  const std::vector<SynthesisCase> cases = {
      {"32x18, whole cells", 32, 18, 40, 320, 180, {0, 39, 1}, 0},
      {"32x18, partial cells right and below", 32, 18, 40, 330, 190, {5}, 0},
      {"16x9", 16, 9, 25, 160, 90, {24, 0}, 0},
      {"7x5, size not a multiple", 7, 5, 30, 100, 52, {29, 3}, 0},
      {"7x5, size a multiple", 7, 5, 30, 105, 50, {1}, 0},
      {"8x32 over 2150 rows: 67 cell rows, 6 rows below", 8, 32, 12, 64, 2150, {}, 0},
      {"index beyond the library shows the last tile", 4, 3, 9, 40, 30, {9, 200, 8}, 0},
      {"more than 256 tiles (green byte)", 4, 3, 700, 80, 60, {255, 256, 511, 512, 699}, 0},
      {"split atlas, 3 tiles per row", 2, 2, 37, 40, 20, {0, 12, 13, 35, 36, 2}, 16},
      {"more tiles than texture rows",
       4,
       3,
       16400,
       80,
       60,
       {16383, 16384, 16399, 0, 8191, 8192, 8193, 256, 65},
       0},
  };
  for (const SynthesisCase& c : cases) {
    gpu_.SetAtlasSizeLimit(c.atlas_limit);
    const SubImageStore store = MakeLibrary(c.tiles, c.sw, c.sh);
    const int div_x = c.image_w / c.sw;
    const int div_y = c.image_h / c.sh;
    const std::vector<int> assignment = MakeAssignment(div_x * div_y, c.tiles, c.first);
    // Colour correction off, at a share whose blend rounds both ways, and
    // flat: the means differ from cell to cell and channel to channel.
    for (double share : {0.0, 0.3, 1.0}) {
      SCOPED_TRACE(std::string(c.label) + ", colour " + std::to_string(share));
      CellTint tint;
      tint.weight = ColorWeight(share);
      for (int cell = 0; cell < div_x * div_y; ++cell)
        tint.means.emplace_back(static_cast<unsigned char>(cell * 37 % 256),
                                static_cast<unsigned char>((cell * 101 + 50) % 256),
                                static_cast<unsigned char>((cell * 13 + 200) % 256));
      ASSERT_TRUE(Render(store, assignment, c.image_w, c.image_h, kCurrentMosaic, tint));
      const cv::Mat gpu = gpu_.ReadMosaic(kCurrentMosaic);
      const cv::Mat cpu =
          ComposeMosaic(store, assignment, div_x, div_y, c.image_w, c.image_h, 2, tint);
      EXPECT_EQ(FirstDifference(gpu, cpu), "");
    }
  }
}

TEST_F(SynthesisTest, LibraryTooWideForAnyAtlasIsRefused) {
  gpu_.SetAtlasSizeLimit(6);  // 2 x 1 tiles: 40 tiles would need 7 per row
  const SubImageStore store = MakeLibrary(40, 2, 1);
  EXPECT_FALSE(gpu_.UploadAtlas(store.Composite(), 2, 1));
  EXPECT_EQ(gpu_.Textures().atlas.name(), 0u);
  const std::vector<std::string> history = LogHistory();
  ASSERT_GE(history.size(), 2u);
  EXPECT_NE(history[history.size() - 2].find("do not fit"), std::string::npos);
  // Without an atlas nothing is drawn.
  gpu_.CreateOffscreenTargets(4, 2, 2, 2);
  gpu_.CreateCellTable(2, 2);
  EXPECT_FALSE(gpu_.RenderMosaic(kCurrentMosaic));
}

TEST_F(SynthesisTest, NeighbourTargetsAndSlotSwap) {
  const SubImageStore store = MakeLibrary(6, 4, 3);
  const std::vector<int> first = MakeAssignment(20, 6, {0});
  const std::vector<int> second = MakeAssignment(20, 6, {5, 4, 3});
  ASSERT_TRUE(Render(store, first, 20, 12));
  const GLuint first_texture = gpu_.MosaicTexture(kCurrentMosaic);
  EXPECT_EQ(gpu_.MosaicTexture(kPreviousMosaic), 0u);

  gpu_.SwapMosaicSlots();
  ASSERT_TRUE(Render(store, second, 20, 12));
  EXPECT_EQ(gpu_.MosaicTexture(kPreviousMosaic), first_texture);
  EXPECT_NE(gpu_.MosaicTexture(kCurrentMosaic), first_texture);
  EXPECT_EQ(
      FirstDifference(gpu_.ReadMosaic(kPreviousMosaic), ComposeMosaic(store, first, 5, 4, 20, 12)),
      "");
  EXPECT_EQ(
      FirstDifference(gpu_.ReadMosaic(kCurrentMosaic), ComposeMosaic(store, second, 5, 4, 20, 12)),
      "");

  // A neighbour mosaic is drawn at half the size, each pixel the tile's
  // pixel at its place, and leaves both slots alone.
  ASSERT_TRUE(Render(store, first, 20, 12, kFirstAroundMosaic + 7));
  const cv::Mat whole = ComposeMosaic(store, first, 5, 4, 20, 12);
  cv::Mat half;
  cv::resize(whole, half, {10, 6}, 0, 0, cv::INTER_NEAREST);
  EXPECT_EQ(FirstDifference(gpu_.ReadMosaic(kFirstAroundMosaic + 7), half), "");
  EXPECT_EQ(
      FirstDifference(gpu_.ReadMosaic(kCurrentMosaic), ComposeMosaic(store, second, 5, 4, 20, 12)),
      "");
  EXPECT_EQ(gpu_.MosaicTexture(kFirstAroundMosaic), 0u);
  EXPECT_FALSE(gpu_.RenderMosaic(kMosaicTargetCount));
}

TEST_F(SynthesisTest, TargetsKeptAtTheSameSizeAndRemadeAtAnother) {
  const SubImageStore store = MakeLibrary(3, 4, 3);
  ASSERT_TRUE(Render(store, MakeAssignment(20, 3, {}), 20, 12));
  const OffscreenTarget* target = gpu_.Target(kCurrentMosaic);
  ASSERT_NE(target, nullptr);
  const GLuint framebuffer = target->framebuffer.name();
  const GLuint texture = target->texture.name();

  gpu_.CreateOffscreenTargets(20, 12, 10, 8);
  EXPECT_EQ(target->framebuffer.name(), framebuffer);
  EXPECT_EQ(target->texture.name(), texture);
  EXPECT_EQ(gpu_.MosaicTexture(kCurrentMosaic), texture) << "the mosaic survives";
  EXPECT_EQ(gpu_.MatchingTarget().width, 10);

  gpu_.CreateOffscreenTargets(24, 12, 12, 8);
  EXPECT_EQ(target->width, 24);
  EXPECT_EQ(gpu_.MosaicTexture(kCurrentMosaic), 0u) << "a re-made target holds no mosaic";
  EXPECT_TRUE(gpu_.ReadMosaic(kCurrentMosaic).empty());
}

TEST_F(SynthesisTest, TilesOfAnotherSizeThanTheGridAreNotDrawn) {
  const SubImageStore store = MakeLibrary(3, 4, 3);
  gpu_.CreateOffscreenTargets(20, 12, 10, 8);
  gpu_.CreateCellTable(10, 4);  // the grid of 2 x 3 tiles
  ASSERT_TRUE(gpu_.UploadAtlas(store.Composite(), 4, 3));
  EXPECT_FALSE(gpu_.RenderMosaic(kCurrentMosaic));
  EXPECT_EQ(gpu_.MosaicTexture(kCurrentMosaic), 0u);
}

// Mipmap level `level` (of `size`) of `texture`, BGR.
cv::Mat TextureLevel(GLuint texture, int level, cv::Size size) {
  cv::Mat texels(size, CV_8UC3);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_BGR, GL_UNSIGNED_BYTE, texels.data);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texels;
}

// A mosaic drawn for a view at most half the working size each way is drawn
// at half size from tiles averaged 2 x 2: the first mipmap level of the
// whole mosaic, within rounding. It reads back nothing until drawn whole.
TEST_F(SynthesisTest, AViewOnlyPassDrawsHalfTheSizeForAViewNoLarger) {
  const struct {
    const char* what;
    int sw, sh, image_w, image_h, view_w, view_h;
    bool half;
  } rows[] = {
      {"view of half the size", 32, 18, 320, 180, 160, 90, true},
      {"view a pixel wider", 32, 18, 320, 180, 161, 90, false},
      {"view not known yet", 32, 18, 320, 180, 0, 0, false},
      {"odd tile sides", 7, 5, 105, 50, 10, 10, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const SubImageStore store = MakeLibrary(40, row.sw, row.sh);
    const int div_x = row.image_w / row.sw;
    const int div_y = row.image_h / row.sh;
    const std::vector<int> assignment = MakeAssignment(div_x * div_y, 40, {0, 39});
    ASSERT_TRUE(Render(store, assignment, row.image_w, row.image_h));
    const cv::Size half(row.image_w / 2, row.image_h / 2);
    const cv::Mat whole_level = TextureLevel(gpu_.MosaicTexture(kCurrentMosaic), 1, half);

    gpu_.SetViewSize(row.view_w, row.view_h);
    ASSERT_TRUE(gpu_.RenderMosaicForView(kCurrentMosaic));
    EXPECT_EQ(gpu_.HalfOnly(kCurrentMosaic), row.half);
    const cv::Mat level = TextureLevel(gpu_.MosaicTexture(kCurrentMosaic), 1, half);
    EXPECT_LE(cv::norm(level, whole_level, cv::NORM_INF), 1.0);
    EXPECT_EQ(gpu_.ReadMosaic(kCurrentMosaic).empty(), row.half);

    ASSERT_TRUE(gpu_.RenderMosaic(kCurrentMosaic));
    EXPECT_FALSE(gpu_.HalfOnly(kCurrentMosaic));
    const cv::Mat cpu = ComposeMosaic(store, assignment, div_x, div_y, row.image_w, row.image_h, 2);
    EXPECT_EQ(FirstDifference(gpu_.ReadMosaic(kCurrentMosaic), cpu), "");
  }
  gpu_.SetViewSize(0, 0);
}

TEST_F(SynthesisTest, PassRegeneratesMipmapsAndRestoresState) {
  // One plain tile: every mipmap level of the mosaic is that colour.
  SubImageStore store;
  store.Reset(4, 4);
  store.Add(cv::Mat(4, 4, CV_8UC3, cv::Scalar(10, 200, 90)));
  glViewport(1, 2, 30, 40);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ZERO, GL_ONE);  // would keep the cleared black if left on
  ASSERT_TRUE(Render(store, std::vector<int>(16, 0), 16, 16));

  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{1, 2, 30, 40}));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  glDisable(GL_BLEND);  // the context serves the next tests
  GLint framebuffer = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
  EXPECT_EQ(framebuffer, 0);

  std::vector<unsigned char> level1(8 * 8 * 3);
  glBindTexture(GL_TEXTURE_2D, gpu_.MosaicTexture(kCurrentMosaic));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 1, GL_BGR, GL_UNSIGNED_BYTE, level1.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  for (std::size_t i = 0; i < level1.size(); i += 3) {
    ASSERT_EQ(level1[i], 10) << "texel " << i / 3;
    ASSERT_EQ(level1[i + 1], 200);
    ASSERT_EQ(level1[i + 2], 90);
  }
}

// The min filter of `texture` and the BGR texel (0, 0) of its level 1.
std::pair<GLint, cv::Vec3b> Sampling(GLuint texture) {
  GLint filter = 0;
  unsigned char level1[4 * 4 * 3] = {};
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 1, GL_BGR, GL_UNSIGNED_BYTE, level1);
  glBindTexture(GL_TEXTURE_2D, 0);
  return {filter, cv::Vec3b(level1[0], level1[1], level1[2])};
}

TEST_F(SynthesisTest, PictureMipmapsFollowTheToggleAndEveryUpload) {
  cv::Mat checker(8, 8, CV_8UC3, cv::Scalar(0, 0, 0));
  for (int y = 0; y < 8; ++y)
    for (int x = (y + 1) % 2; x < 8; x += 2) checker.at<cv::Vec3b>(y, x) = cv::Vec3b(250, 250, 250);
  const GLuint first = gpu_.UploadWorkingImage(checker);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(Sampling(first).first, GL_LINEAR);

  // Switched on, the picture already shown is averaged...
  gpu_.SetPictureMipmaps(true);
  EXPECT_EQ(Sampling(first),
            std::make_pair(GLint{GL_LINEAR_MIPMAP_LINEAR}, cv::Vec3b(125, 125, 125)));
  // ...and so is the next one, from its own pixels.
  const GLuint second = gpu_.UploadWorkingImage(cv::Mat(8, 8, CV_8UC3, cv::Scalar(30, 60, 90)));
  EXPECT_EQ(Sampling(second),
            std::make_pair(GLint{GL_LINEAR_MIPMAP_LINEAR}, cv::Vec3b(30, 60, 90)));

  gpu_.SetPictureMipmaps(false);
  EXPECT_EQ(Sampling(first).first, GL_LINEAR);
  EXPECT_EQ(Sampling(second).first, GL_LINEAR);
}

TEST_F(SynthesisTest, ReadingBeforeAnyMosaicLogsNoMosaicImages) {
  gpu_.CreateOffscreenTargets(8, 6, 4, 4);
  EXPECT_TRUE(gpu_.ReadMosaic(kCurrentMosaic).empty());
  const std::vector<std::string> history = LogHistory();
  ASSERT_GE(history.size(), 2u);
  EXPECT_EQ(history[history.size() - 2], "no mosaic images\n");
  std::vector<unsigned char> buffer;
  EXPECT_FALSE(ReadMosaicPixels(gpu_.Textures(), 8, 6, buffer));
}

TEST_F(SynthesisTest, ReadMosaicPixelsGivesTheCurrentMosaic) {
  const SubImageStore store = MakeLibrary(4, 3, 2);
  const std::vector<int> assignment = MakeAssignment(9, 4, {3, 2});
  ASSERT_TRUE(Render(store, assignment, 9, 7));  // 7 rows: odd widths and partial cells
  std::vector<unsigned char> buffer;
  ASSERT_TRUE(ReadMosaicPixels(gpu_.Textures(), 9, 7, buffer));
  const cv::Mat cpu = ComposeMosaic(store, assignment, 3, 3, 9, 7);
  EXPECT_EQ(buffer, std::vector<unsigned char>(cpu.datastart, cpu.dataend));
}

// Logs the status of a fresh framebuffer object, with or without a colour
// texture attached; gives the result. The framebuffer is left bound.
bool StatusOfFramebuffer(bool attach, GlFramebuffer& framebuffer, GlTexture& texture) {
  framebuffer = GlFramebuffer::Generate();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer.name());
  if (attach) {
    texture = GlTexture::Generate();
    glBindTexture(GL_TEXTURE_2D, texture.name());
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              texture.name(), 0);
  }
  return CheckFramebufferStatus();
}

TEST_F(SynthesisTest, FramebufferStatusLines) {
  GlFramebuffer framebuffer;
  GlTexture texture;
  EXPECT_TRUE(StatusOfFramebuffer(true, framebuffer, texture));
  EXPECT_EQ(LogHistory()[LogHistory().size() - 2], "Framebuffer complete.\n");
  EXPECT_FALSE(StatusOfFramebuffer(false, framebuffer, texture));
  EXPECT_EQ(LogHistory()[LogHistory().size() - 2],
            "[ERROR] Framebuffer incomplete: No image is attached to FBO.\n");
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

// After a good mosaic, each way a pass can fail; the failed pass must not
// leave the older picture behind to be shown or exported as if just drawn.
TEST_F(SynthesisTest, FailedPassLeavesNoStaleMosaicInItsTarget) {
  struct Case {
    const char* label;
    std::function<void()> spoil;
  };
  const SubImageStore store = MakeLibrary(3, 4, 3);
  const std::vector<Case> cases = {
      {"no atlas (library too wide)",
       [this, &store] {
         gpu_.SetAtlasSizeLimit(6);
         gpu_.UploadAtlas(store.Composite(), 4, 3);
         gpu_.SetAtlasSizeLimit(0);
       }},
      {"atlas of another tile size",
       [this] {
         const SubImageStore other = MakeLibrary(3, 2, 3);
         ASSERT_TRUE(gpu_.UploadAtlas(other.Composite(), 2, 3));
       }},
      {"target too large", [this] { gpu_.CreateOffscreenTargets(1 << 20, 12, 10, 8); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(Render(store, MakeAssignment(20, 3, {}), 20, 12));
    // Twice round the slots: the pass goes into the target holding that mosaic.
    gpu_.SwapMosaicSlots();
    gpu_.SwapMosaicSlots();
    c.spoil();
    EXPECT_FALSE(gpu_.RenderMosaic(kCurrentMosaic));
    EXPECT_EQ(gpu_.MosaicTexture(kCurrentMosaic), 0u);
    EXPECT_TRUE(gpu_.ReadMosaic(kCurrentMosaic).empty());
  }
}

// What the GPU side made (programs, targets' framebuffers and textures, the
// atlas and cell table) goes with it when its context is current.
TEST_F(SynthesisTest, DestroyingTheGpuSideDeletesEveryName) {
  auto gpu = std::make_unique<GlMosaicGpu>();
  gpu->BuildPrograms();
  const SubImageStore store = MakeLibrary(3, 4, 3);
  gpu->CreateOffscreenTargets(20, 12, 10, 8);
  gpu->CreateCellTable(5, 4);
  ASSERT_TRUE(gpu->UploadAtlas(store.Composite(), 4, 3));
  gpu->UploadCellTable(CellTable(MakeAssignment(20, 3, {})));
  ASSERT_TRUE(gpu->RenderMosaic(kCurrentMosaic));
  const GLuint program = gpu->Programs().synthesis.program.name();
  const GLuint framebuffer = gpu->Target(kCurrentMosaic)->framebuffer.name();
  const std::vector<GLuint> textures = {gpu->MosaicTexture(kCurrentMosaic),
                                        gpu->Textures().atlas.name(), gpu->Textures().table.name()};
  ASSERT_TRUE(glIsProgram(program));
  ASSERT_TRUE(glIsFramebufferEXT(framebuffer));
  gpu.reset();
  EXPECT_FALSE(glIsProgram(program));
  EXPECT_FALSE(glIsFramebufferEXT(framebuffer));
  for (GLuint texture : textures) EXPECT_FALSE(glIsTexture(texture)) << texture;
}

TEST_F(SynthesisTest, OffscreenTargetOfAnImpossibleSizeIsRefused) {
  OffscreenTarget target;
  EXPECT_FALSE(CreateOffscreenTarget(target, 0, 10, false));
  EXPECT_EQ(target.framebuffer.name(), 0u);
  EXPECT_FALSE(CreateOffscreenTarget(target, 1 << 20, 10, false));
  EXPECT_EQ(target.texture.name(), 0u);
  ASSERT_TRUE(CreateOffscreenTarget(target, 5, 3, false));
  EXPECT_EQ(target.channels, 4);
  DestroyOffscreenTarget(target);
  EXPECT_EQ(target.framebuffer.name(), 0u);
  EXPECT_EQ(target.width, 0);
}

}  // namespace
}  // namespace tessaline
