#include "mosaic/size_limits.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace tessaline {
namespace {

struct SizeCase {
  const char* name;
  int image_w, image_h, sub_w, sub_h, mx, my, search_num;
  int max_texture_side;
  std::size_t budget;
  const char* refusal_start;  // "" when the sizes are accepted
};

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(SizeRefusalTest, RefusesWhatTheGpuOrTheBudgetCannotHold) {
  const std::vector<SizeCase> cases = {
      {"defaults", 3840, 2160, 32, 18, 2, 2, 1, 16384, kEngineMemoryBudget, ""},
      {"tile one texel past the side", 4096, 4096, 4097, 18, 1, 1, 1, 4096, 1024 * kMiB,
       "the tile size 4097 x 18 is larger than the largest texture side 4096"},
      {"tile exactly the side", 4096, 4096, 4096, 4096, 1, 1, 1, 4096, 1024 * kMiB, ""},
      {"working image past a small driver's side", 8192, 2160, 32, 18, 1, 1, 1, 4096,
       1024 * kMiB, "the working size 8192 x 2160 is larger"},
      // 3840 / 1 cells of 32 sub-cells: 122,880 matching pixels across.
      {"matching image past the side", 3840, 2160, 1, 1, 32, 32, 1, 16384, kEngineMemoryBudget,
       "the matching image 122880 x 69120 is larger than the largest texture side 16384"},
      {"matching image exactly the side", 4096, 4096, 8, 8, 32, 32, 1, 16384,
       kEngineMemoryBudget, ""},
      // Without a GPU only memory counts: 524288² × 3 bytes.
      {"matching image past the budget", 16384, 16384, 1, 1, 32, 32, 1, 0, kEngineMemoryBudget,
       "the matching image 524288 x 524288 needs 786432 MB, more than the budget of 2048 MB"},
      // 256 × 256 cells of 4 × 4 sub-cells: 3 MiB of matching image.
      {"matching image exactly the budget", 1024, 1024, 4, 4, 4, 4, 1, 0, 3 * kMiB, ""},
      {"matching image one byte past the budget", 1024, 1024, 4, 4, 4, 4, 1, 0, 3 * kMiB - 1,
       "the matching image 1024 x 1024 needs 3 MB"},
      // 120 × 120 cells × 50,001 ints, twice: 5,494 MiB.
      {"search_num past the budget", 3840, 2160, 32, 18, 2, 2, 50000, 16384,
       kEngineMemoryBudget, "search_num 50000 over 120 x 120 cells needs 5494 MB"},
      {"search_num within the budget", 3840, 2160, 32, 18, 2, 2, 1000, 16384,
       kEngineMemoryBudget, ""},
      // Products that overflow 32 and 64-bit integers must still be refused.
      {"overflowing product", 16384, 16384, 1, 1, 32, 32, 50000, 0, kEngineMemoryBudget,
       "the matching image"},
  };
  for (const SizeCase& c : cases) {
    MosaicConfig config;
    config.image_width = c.image_w;
    config.image_height = c.image_h;
    config.sub_width = c.sub_w;
    config.sub_height = c.sub_h;
    config.matching_x = c.mx;
    config.matching_y = c.my;
    config.search_num = c.search_num;
    const std::string refusal = SizeRefusal(config, c.max_texture_side, c.budget);
    if (std::string(c.refusal_start).empty()) {
      EXPECT_EQ(refusal, "") << c.name;
    } else {
      EXPECT_EQ(refusal.rfind(c.refusal_start, 0), 0u) << c.name << ": " << refusal;
      EXPECT_EQ(refusal.find('\n'), std::string::npos) << c.name;
    }
  }
}

TEST(SizeRefusalTest, RefusesCapsWhoseCandidateListsWouldNotFit) {
  // 2048 × 2048 cells: plain matching fits, lists a capped assignment may
  // grow to (about 8 KB a cell) do not.
  MosaicConfig config;
  config.image_width = config.image_height = 16384;
  config.sub_width = config.sub_height = 8;
  config.matching_x = config.matching_y = 2;
  EXPECT_EQ(SizeRefusal(config, 0, kEngineMemoryBudget), "");
  for (const auto& [max_uses, use_all, start] :
       {std::tuple{1, false, "max_uses 1 over 2048 x 2048 cells needs"},
        std::tuple{0, true, "max_uses 0 with use_all over 2048 x 2048 cells needs"}}) {
    config.max_uses = max_uses;
    config.use_all = use_all;
    const std::string refusal = SizeRefusal(config, 0, kEngineMemoryBudget);
    EXPECT_EQ(refusal.rfind(start, 0), 0u) << refusal;
  }
}

}  // namespace
}  // namespace tessaline
