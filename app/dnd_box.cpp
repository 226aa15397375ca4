#include "app/dnd_box.h"

#include <FL/Fl.H>

#include <ostream>

#include "settings/log_stream.h"

namespace tessaline {

qxFlDndBox::qxFlDndBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

namespace {

const char* DragEventName(int event) {
  switch (event) {
    case FL_DND_ENTER:
      return "FL_DND_ENTER";
    case FL_DND_DRAG:
      return "FL_DND_DRAG";
    case FL_DND_LEAVE:
      return "FL_DND_LEAVE";
    default:
      return "FL_DND_RELEASE";
  }
}

}  // namespace

qxFlDndBox::~qxFlDndBox() { Fl::remove_timeout(DeferredCallback, this); }

void qxFlDndBox::DeferredCallback(void* box) {
  auto* self = static_cast<qxFlDndBox*>(box);
  self->do_callback();
}

int qxFlDndBox::handle(int event) {
  switch (event) {
    case FL_PASTE:
      view_log() << "qxFlDndBox::FL_PASTE" << std::endl;
      event_ = FL_PASTE;
      length_ = Fl::event_length();
      // A paste without text (or with a bad length) leaves an empty text.
      if (Fl::event_text() && length_ > 0)
        text_.assign(Fl::event_text(), static_cast<std::size_t>(length_));
      else
        text_.clear();
      // The callback runs after the paste event has returned.
      if (callback() && (when() & (FL_WHEN_CHANGED | FL_WHEN_RELEASE)))
        Fl::add_timeout(0.0, DeferredCallback, this);
      return 1;
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
      // Accepting the drag makes the toolkit deliver the paste on release.
      view_log() << "qxFlDndBox::" << DragEventName(event) << std::endl;
      event_ = event;
      return 1;
    default:
      return Fl_Box::handle(event);
  }
}

}  // namespace tessaline
