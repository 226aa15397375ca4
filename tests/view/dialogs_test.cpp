// The preference and choice dialogs driven through their buttons' callbacks;
// no window is shown.

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Spinner.H>
#include <gtest/gtest.h>

#include "view/choice_dialog.h"
#include "view/preference_dialog.h"

namespace tessaline {
namespace {

bool Inside(const Fl_Widget* a, const Fl_Widget* b) {
  return a->x() >= b->x() && a->y() >= b->y() && a->x() + a->w() <= b->x() + b->w() &&
         a->y() + a->h() <= b->y() + b->h();
}

TEST(ChoiceDialog, SizeFollowsTheItemsAndTheScrolledGroupHoldsEveryButton) {
  const struct {
    std::vector<std::string> items;
    int width, height;
  } rows[] = {{{}, 200, 80},
              {{std::string(40, 'c')}, 520, 100},
              {{"a", "b", "c", "d", "e", "f"}, 200, 200}};
  for (const auto& row : rows) {
    qxFlRadioDialog dialog("Choose a device", row.items, 0, nullptr);
    EXPECT_EQ(dialog.w(), row.width);
    EXPECT_EQ(dialog.h(), row.height);
    EXPECT_EQ(dialog.OkButton()->y(), row.height - 35);
    // The scroll reaches its group's area only.
    for (const Fl_Round_Button* button : dialog.Buttons())
      EXPECT_TRUE(Inside(button, dialog.Group())) << button->label();
  }
}

TEST(ChoiceDialog, SelectionGoesByFirstEqualTextAndADefaultOutsideTheListIsKept) {
  qxFlRadioDialog outside("Choose a device", {"cam 0", "cam 1"}, 5, nullptr);
  for (const Fl_Round_Button* button : outside.Buttons()) EXPECT_EQ(button->value(), 0);
  outside.OkButton()->do_callback();
  EXPECT_TRUE(outside.Accepted());
  EXPECT_EQ(outside.Selected(), 5);

  qxFlRadioDialog equal("Choose a device", {"cam", "other", "cam"}, 1, nullptr);
  EXPECT_EQ(equal.Buttons()[1]->value(), 1);
  equal.Buttons()[2]->do_callback();
  EXPECT_EQ(equal.Selected(), 0);
  equal.CancelButton()->do_callback();
  EXPECT_FALSE(equal.Accepted());
}

const MosaicSettings kSample{1920, 1080, 48, 27, 3, 5, 7, "32,18, 48,27", "./tiles", "a.jpg"};

TEST(PreferenceDialog, WidgetsStartFromTheSettingsAndOkReadsEachBack) {
  qxFlPMDialog dialog("photomosaic setting", kSample, nullptr);
  const qxFlPMDialog::Controls& c = dialog.Widgets();
  Fl_Spinner* spinners[] = {c.image_width, c.image_height, c.sub_width, c.sub_height,
                            c.matching_x,  c.matching_y,   c.search_num};
  const int given[] = {1920, 1080, 48, 27, 3, 5, 7};
  // Distinct new values, so that two swapped fields show up.
  MosaicSettings expected{2, 3, 4, 5, 6, 7, 8, "16,9", "/other", ""};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(spinners[i]->value(), given[i]) << "spinner " << i;
    spinners[i]->value(i + 2);
  }
  EXPECT_STREQ(c.image_default->value(), "a.jpg");
  c.sub_scale_list->value("16,9");
  c.image_dir->value("/other");
  c.image_default->value("");
  c.save_as_default->value(1);
  c.ok->do_callback();

  ASSERT_TRUE(dialog.Accepted());
  EXPECT_TRUE(dialog.SaveAsDefault());
  EXPECT_FALSE(EngineShapeChanged(expected, dialog.Settings()));
  EXPECT_EQ(dialog.Settings().sub_scale_list, "16,9");
  EXPECT_EQ(dialog.Settings().image_dir, "/other");
  EXPECT_EQ(dialog.Settings().image_default, "");
}

bool Apart(const Fl_Widget* a, const Fl_Widget* b) {
  return a->y() >= b->y() + b->h() || b->y() >= a->y() + a->h() || a->x() >= b->x() + b->w() ||
         b->x() >= a->x() + a->w();
}

TEST(PreferenceDialog, RuleFieldsLieBelowNNSearchInsideTheGroupClearOfEveryOtherWidget) {
  MosaicSettings given = kSample;
  given.repeat_distance = 8;
  given.max_uses = 9;
  given.use_all = true;
  qxFlPMDialog dialog("photomosaic setting", given, nullptr);
  const qxFlPMDialog::Controls& c = dialog.Widgets();
  ASSERT_TRUE(c.repeat_distance && c.max_uses && c.use_all);
  EXPECT_EQ(c.repeat_distance->value(), 8);
  EXPECT_EQ(c.max_uses->value(), 9);
  EXPECT_EQ(c.use_all->value(), 1);
  for (const Fl_Spinner* spinner : {c.repeat_distance, c.max_uses}) {
    EXPECT_EQ(spinner->minimum(), 0);
    EXPECT_EQ(spinner->maximum(), 1000);
  }
  const Fl_Widget* rules[] = {c.repeat_distance, c.max_uses, c.use_all};
  const Fl_Widget* all[] = {
      c.image_width,     c.image_height, c.sub_width,       c.sub_height, c.matching_x,
      c.matching_y,      c.search_num,   c.sub_scale_list,  c.image_dir,  c.image_default,
      c.choose_dir,      c.choose_image, c.save_as_default, c.ok,         c.cancel,
      c.repeat_distance, c.max_uses,     c.use_all};
  for (const Fl_Widget* rule : rules) {
    EXPECT_GT(rule->y(), c.search_num->y()) << rule->label();
    EXPECT_TRUE(Inside(rule, c.search_num->parent())) << rule->label();
    for (const Fl_Widget* other : all)
      EXPECT_TRUE(other == rule || Apart(rule, other)) << rule->label() << " / " << other->label();
  }
  c.repeat_distance->value(3);
  c.max_uses->value(1);
  c.use_all->value(0);
  c.ok->do_callback();
  EXPECT_EQ(dialog.Settings().repeat_distance, 3);
  EXPECT_EQ(dialog.Settings().max_uses, 1);
  EXPECT_FALSE(dialog.Settings().use_all);
}

TEST(PreferenceDialog, CancelKeepsTheGivenSettings) {
  qxFlPMDialog dialog("photomosaic setting", kSample, nullptr);
  dialog.Widgets().sub_width->value(16);
  dialog.Widgets().image_dir->value("/other");
  dialog.Widgets().save_as_default->value(1);
  dialog.Widgets().cancel->do_callback();
  EXPECT_FALSE(dialog.Accepted());
  EXPECT_FALSE(dialog.SaveAsDefault());
  EXPECT_FALSE(EngineShapeChanged(kSample, dialog.Settings()));
  EXPECT_EQ(dialog.Settings().image_dir, "./tiles");
}

}  // namespace
}  // namespace tessaline
