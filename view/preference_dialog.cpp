#include "view/preference_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Spinner.H>

#include "picture/picture_types.h"

namespace tessaline {
namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 340;

// An integer spinner at (x, y) of the standard 85 x 25 size.
Fl_Spinner* MakeSpinner(int x, int y, const char* label, double low, double high, double step,
                        int value) {
  auto* spinner = new Fl_Spinner(x, y, 85, 25, label);
  spinner->type(FL_INT_INPUT);
  spinner->format("%.0f");
  spinner->range(low, high);
  spinner->step(step);
  spinner->value(value);
  return spinner;
}

Fl_Input* MakeInput(int x, int y, int w, const char* label, const std::string& value) {
  auto* input = new Fl_Input(x, y, w, 25, label);
  input->value(value.c_str());
  return input;
}

Fl_Button* MakeButton(int x, int y, int w, const char* label, Fl_Callback* callback, void* data) {
  auto* button = new Fl_Button(x, y, w, 25, label);
  button->down_box(FL_UP_BOX);
  button->callback(callback, data);
  return button;
}

// Runs a file chooser modally (by Fl::wait, never sleeping) and puts its
// first pick into `into`; nothing changes when the user picked nothing.
void ChooseInto(Fl_Input* into, const char* pattern, int type, const char* title) {
  Fl_File_Chooser chooser(".", pattern, type, title);
  chooser.show();
  while (chooser.shown()) Fl::wait();
  if (chooser.count() > 0 && chooser.value(1)) into->value(chooser.value(1));
}

int SpinnerInt(const Fl_Spinner* spinner) { return static_cast<int>(spinner->value()); }

}  // namespace

qxFlPMDialog::qxFlPMDialog(const char* title, const MosaicSettings& settings, Fl_Window* owner)
    : Fl_Window(kWidth, kHeight, title), owner_(owner), settings_(settings) {
  auto* scroll = new Fl_Scroll(0, 0, kWidth, kHeight - 40);
  scroll->box(FL_FLAT_BOX);
  auto* group = new Fl_Group(10, 10, kWidth - 20, kHeight - 50, "Setting");
  group->box(FL_DOWN_BOX);
  group->labelsize(12);
  group->align(FL_ALIGN_TOP | FL_ALIGN_INSIDE);
  BuildSizeRows();
  BuildTextRows();
  BuildRuleRows();
  group->end();
  scroll->end();
  BuildButtons();
  end();
  resizable(this);
}

qxFlPMDialog::~qxFlPMDialog() = default;

void qxFlPMDialog::BuildSizeRows() {
  const MosaicSettings& s = settings_;
  Controls& c = controls_;
  c.image_width = MakeSpinner(120, 30, "Image Size ", 2, 16384, 2, s.image_width);
  c.image_height = MakeSpinner(230, 30, " x ", 2, 16384, 2, s.image_height);
  c.sub_width = MakeSpinner(120, 60, "Tile Size ", 2, 1024, 2, s.sub_width);
  c.sub_height = MakeSpinner(230, 60, " x ", 2, 1024, 2, s.sub_height);
  c.matching_x = MakeSpinner(120, 90, "Matching ", 1, 10, 1, s.matching_x);
  c.matching_y = MakeSpinner(230, 90, " x ", 1, 10, 2, s.matching_y);
  c.search_num = MakeSpinner(120, 120, "NN Search ", 1, 100, 1, s.search_num);
}

void qxFlPMDialog::BuildTextRows() {
  const MosaicSettings& s = settings_;
  Controls& c = controls_;
  c.sub_scale_list = MakeInput(120, 150, kWidth - 145, "Tile Size List ", s.sub_scale_list);
  c.image_dir = MakeInput(120, 180, kWidth - 175, "Image Dir ", s.image_dir);
  c.choose_dir = MakeButton(kWidth - 50, 180, 25, "...", OnChooseDir, this);
  c.image_default = MakeInput(120, 210, kWidth - 175, "Default Image ", s.image_default);
  c.choose_image = MakeButton(kWidth - 50, 210, 25, "...", OnChooseImage, this);
}

// The rules of the tiles' choice, below the rows of the original layout in
// the group's free space, so that none of them moves: the repeat distance
// and the cap per photo side by side, the every-photo box under them.
void qxFlPMDialog::BuildRuleRows() {
  const MosaicSettings& s = settings_;
  Controls& c = controls_;
  c.repeat_distance = MakeSpinner(120, 240, "Repeat ", 0, 1000, 1, s.repeat_distance);
  c.max_uses = MakeSpinner(270, 240, "Uses ", 0, 1000, 1, s.max_uses);
  c.use_all = new Fl_Check_Button(120, 270, 25, 25, "Use all");
  c.use_all->down_box(FL_DOWN_BOX);
  c.use_all->align(FL_ALIGN_RIGHT);
  c.use_all->value(s.use_all ? 1 : 0);
}

void qxFlPMDialog::BuildButtons() {
  Controls& c = controls_;
  c.save_as_default = new Fl_Check_Button(10, kHeight - 35, 25, 25, " Default");
  c.save_as_default->down_box(FL_DOWN_BOX);
  c.save_as_default->align(FL_ALIGN_RIGHT);
  c.ok = MakeButton(kWidth - 180, kHeight - 35, 80, "OK", OnOk, this);
  c.cancel = MakeButton(kWidth - 90, kHeight - 35, 80, "Cancel", OnCancel, this);
}

// Copies every widget into the working settings (spinner values truncated
// to int, texts as they stand).
void qxFlPMDialog::Accept() {
  const Controls& c = controls_;
  settings_.image_width = SpinnerInt(c.image_width);
  settings_.image_height = SpinnerInt(c.image_height);
  settings_.sub_width = SpinnerInt(c.sub_width);
  settings_.sub_height = SpinnerInt(c.sub_height);
  settings_.matching_x = SpinnerInt(c.matching_x);
  settings_.matching_y = SpinnerInt(c.matching_y);
  settings_.search_num = SpinnerInt(c.search_num);
  settings_.repeat_distance = SpinnerInt(c.repeat_distance);
  settings_.max_uses = SpinnerInt(c.max_uses);
  settings_.use_all = c.use_all->value() != 0;
  settings_.sub_scale_list = c.sub_scale_list->value();
  settings_.image_dir = c.image_dir->value();
  settings_.image_default = c.image_default->value();
  save_as_default_ = c.save_as_default->value() != 0;
  accepted_ = true;
  hide();
}

void qxFlPMDialog::OnOk(Fl_Widget*, void* dialog) { static_cast<qxFlPMDialog*>(dialog)->Accept(); }

void qxFlPMDialog::OnCancel(Fl_Widget*, void* dialog) {
  auto* self = static_cast<qxFlPMDialog*>(dialog);
  self->accepted_ = false;
  self->hide();
}

void qxFlPMDialog::OnChooseDir(Fl_Widget*, void* dialog) {
  ChooseInto(static_cast<qxFlPMDialog*>(dialog)->controls_.image_dir, "All Files (*)",
             Fl_File_Chooser::DIRECTORY, "Image Directory");
}

void qxFlPMDialog::OnChooseImage(Fl_Widget*, void* dialog) {
  ChooseInto(
      static_cast<qxFlPMDialog*>(dialog)->controls_.image_default,
      ("Image Files (*.{" + PictureExtensionList(PictureUse::kRead, ",") + "})\tAll Files (*)")
          .c_str(),
      Fl_File_Chooser::SINGLE, "Default Image File");
}

}  // namespace tessaline
