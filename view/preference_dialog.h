#pragma once
// qxFlPMDialog: the modal "photomosaic setting" window. It edits a copy of
// the mosaic settings; the caller shows it, runs Fl::wait until it is
// hidden, then reads Accepted(), Settings() and SaveAsDefault(). Cancel, or
// closing the window through the window manager, leaves Accepted() false and
// the copy as it was given. GUI thread only; the widgets belong to the
// window.

#include <FL/Fl_Window.H>

#include "view/mosaic_settings.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Input;
class Fl_Spinner;

namespace tessaline {

class qxFlPMDialog : public Fl_Window {
 public:
  // The editing widgets, for the dialog's own callbacks and for tests.
  struct Controls {
    Fl_Spinner* image_width = nullptr;
    Fl_Spinner* image_height = nullptr;
    Fl_Spinner* sub_width = nullptr;
    Fl_Spinner* sub_height = nullptr;
    Fl_Spinner* matching_x = nullptr;
    Fl_Spinner* matching_y = nullptr;
    Fl_Spinner* search_num = nullptr;
    Fl_Spinner* repeat_distance = nullptr;
    Fl_Spinner* max_uses = nullptr;
    Fl_Check_Button* use_all = nullptr;
    Fl_Input* sub_scale_list = nullptr;
    Fl_Input* image_dir = nullptr;
    Fl_Button* choose_dir = nullptr;
    Fl_Input* image_default = nullptr;
    Fl_Button* choose_image = nullptr;
    Fl_Check_Button* save_as_default = nullptr;
    Fl_Button* ok = nullptr;
    Fl_Button* cancel = nullptr;
  };

  // Builds the 420 x 340 window with every widget filled from `settings`.
  // `owner` is the window that opened the dialog (may be null).
  qxFlPMDialog(const char* title, const MosaicSettings& settings, Fl_Window* owner);
  ~qxFlPMDialog() override;

  bool Accepted() const { return accepted_; }
  bool SaveAsDefault() const { return save_as_default_; }
  const MosaicSettings& Settings() const { return settings_; }
  const Controls& Widgets() const { return controls_; }
  Fl_Window* Owner() const { return owner_; }

 private:
  void BuildSizeRows();
  void BuildTextRows();
  void BuildRuleRows();
  void BuildButtons();
  void Accept();
  static void OnOk(Fl_Widget*, void* dialog);
  static void OnCancel(Fl_Widget*, void* dialog);
  static void OnChooseDir(Fl_Widget*, void* dialog);
  static void OnChooseImage(Fl_Widget*, void* dialog);

  Fl_Window* owner_;
  Controls controls_;
  MosaicSettings settings_;
  bool save_as_default_ = false;
  bool accepted_ = false;
};

}  // namespace tessaline
