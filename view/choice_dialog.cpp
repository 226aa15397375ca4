#include "view/choice_dialog.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Scroll.H>

#include <algorithm>
#include <cstddef>

namespace tessaline {
namespace {

// Radio buttons are 15 pixels square and 30 apart, the first at y = 20.
constexpr int kItemPitch = 30;
constexpr int kFirstItemY = 20;
constexpr int kItemSize = 15;

int LongestText(const std::vector<std::string>& items) {
  std::size_t longest = 1;
  for (const std::string& item : items) longest = std::max(longest, item.size());
  return static_cast<int>(longest);
}

Fl_Button* MakeButton(int x, int y, const char* label, Fl_Callback* callback, void* data) {
  auto* button = new Fl_Button(x, y, 80, 25, label);
  button->down_box(FL_UP_BOX);
  button->callback(callback, data);
  return button;
}

}  // namespace

qxFlRadioDialog::qxFlRadioDialog(const char* title, const std::vector<std::string>& items,
                                 int default_index, Fl_Window* owner)
    : Fl_Window(200, 50, title), selected_(default_index), owner_(owner), items_(items) {
  const int n = static_cast<int>(items_.size());
  const int width = std::max(200, 12 * LongestText(items_) + 40);
  const int height = 20 * n + 80;
  resize(x(), y(), width, height);
  auto* scroll = new Fl_Scroll(0, 0, width, height - 40);
  scroll->box(FL_FLAT_BOX);
  // Only the list grows; a horizontal bar would merely hide a row.
  scroll->type(Fl_Scroll::VERTICAL);
  // The window grows by 20 pixels per item but the buttons lie 30 apart:
  // the group grows with the buttons so that the scroll can reach them all.
  // The group starts at y = 10 and keeps a 5-pixel margin below the last one.
  const int last_bottom = kItemPitch * (n - 1) + kFirstItemY + kItemSize;
  group_ = new Fl_Group(10, 10, width - 20, std::max(height - 50, last_bottom + 5 - 10));
  group_->box(FL_FLAT_BOX);
  group_->labelsize(12);
  group_->align(FL_ALIGN_TOP | FL_ALIGN_INSIDE);
  BuildButtons(default_index);
  group_->end();
  scroll->end();
  ok_ = MakeButton(width - 180, height - 35, "OK", OnOk, this);
  cancel_ = MakeButton(width - 90, height - 35, "Cancel", OnCancel, this);
  end();
  resizable(this);
}

qxFlRadioDialog::~qxFlRadioDialog() = default;

void qxFlRadioDialog::BuildButtons(int default_index) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const int y = kItemPitch * static_cast<int>(i) + kFirstItemY;
    // The whole row is the button, so a click on the text picks it too; the
    // light is 15 pixels square at its left with the text beside it.
    auto* button = new Fl_Round_Button(30, y, w() - 60, kItemSize);
    button->type(FL_RADIO_BUTTON);
    button->down_box(FL_ROUND_DOWN_BOX);
    button->copy_label(items_[i].c_str());
    button->callback(OnItem, this);
    if (static_cast<int>(i) == default_index) button->setonly();
    buttons_.push_back(button);
  }
}

// The index is that of the first item with the clicked button's text, so of
// two equal texts the first always wins.
void qxFlRadioDialog::OnItem(Fl_Widget* button, void* dialog) {
  auto* self = static_cast<qxFlRadioDialog*>(dialog);
  const char* label = button->label() ? button->label() : "";
  const auto found = std::find(self->items_.begin(), self->items_.end(), label);
  if (found != self->items_.end()) self->selected_ = static_cast<int>(found - self->items_.begin());
}

void qxFlRadioDialog::OnOk(Fl_Widget*, void* dialog) {
  auto* self = static_cast<qxFlRadioDialog*>(dialog);
  self->accepted_ = true;
  self->hide();
}

void qxFlRadioDialog::OnCancel(Fl_Widget*, void* dialog) {
  auto* self = static_cast<qxFlRadioDialog*>(dialog);
  self->accepted_ = false;
  self->hide();
}

}  // namespace tessaline
