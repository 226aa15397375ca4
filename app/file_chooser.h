#pragma once
// The file chooser the File menu asks for paths with, and the conversion of
// its filters from "description|patterns|description|patterns..." (patterns
// "*.bmp;*.png") into FLTK's chooser patterns. ChooserPattern is pure and
// needs no display; ShowFileChooser runs on the GUI thread.

#include <string>
#include <vector>

namespace tessaline {

// "Image Files|*.bmp;*.png|All Files|*.*" gives
// "Image Files (*.{bmp,png})\tAll Files (*)". Empty pieces are skipped; a
// description without a pattern after it is dropped.
std::string ChooserPattern(const std::string& filter);

// Opens an Fl_File_Chooser on "." with the converted filter, `multi` allowing
// several files and `save` allowing a new file name, and runs the event loop
// until it is closed. Appends the chosen paths to `paths` and returns the
// list's size (0 when nothing was chosen on an empty list).
int ShowFileChooser(std::vector<std::string>& paths, const std::string& title,
                    const std::string& filter, bool multi, bool save);

}  // namespace tessaline
