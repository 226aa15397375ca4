#include "view/gl_window.h"

#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

class FakeOwner : public ViewOwner {
 public:
  void SetStatusText(const std::string&) override {}
  void SetOutputText(const std::string&) override {}
  void UpdateMenuStates() override {}
  void ToggleFullScreen() override { full_screen = !full_screen; }
  bool IsFullScreen() const override { return full_screen; }
  void EndForUnusableGl(const std::string&) override {}

  bool full_screen = false;
};

// Two views (each reads and writes tessaline.cfg in the working folder, here
// a fresh one) in one 800 x 600 window; never shown, so no GL is made.
class TwoViews : public ::testing::Test {
 protected:
  TwoViews() : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.Path());
    window_ = std::make_unique<Fl_Window>(800, 600);
    a_ = std::make_unique<qxFlGLWindow>(10, 20, 300, 200, nullptr, &owner_);
    b_ = std::make_unique<qxFlGLWindow>(400, 30, 200, 100, nullptr, &owner_);
    window_->end();
  }
  ~TwoViews() override {
    window_->remove(*a_);
    window_->remove(*b_);
    a_.reset();
    b_.reset();
    std::filesystem::current_path(before_);
  }

  TempFolder folder_;
  std::filesystem::path before_;
  FakeOwner owner_;
  std::unique_ptr<Fl_Window> window_;
  std::unique_ptr<qxFlGLWindow> a_;
  std::unique_ptr<qxFlGLWindow> b_;
};

TEST_F(TwoViews, EachViewLeavesFullScreenForItsOwnRectangle) {
  a_->ToggleViewFullScreen(false);  // the icon: the main window goes along
  ASSERT_TRUE(owner_.full_screen);
  EXPECT_EQ(a_->w(), 800);
  b_->ToggleViewFullScreen(true);  // "g" in the other view
  EXPECT_EQ(b_->h(), 600);
  a_->ToggleViewFullScreen(true);
  EXPECT_FALSE(a_->ViewFullScreen());
  EXPECT_EQ(a_->x(), 10);
  EXPECT_EQ(a_->y(), 20);
  EXPECT_EQ(a_->w(), 300);
  EXPECT_EQ(a_->h(), 200);
  b_->ToggleViewFullScreen(false);
  EXPECT_EQ(b_->x(), 400);
  EXPECT_EQ(b_->w(), 200);
  EXPECT_FALSE(owner_.full_screen);
}

}  // namespace
}  // namespace tessaline
