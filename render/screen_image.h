#pragma once
// Saving what OpenGL holds into image files: the colour buffer of the current
// context (the view's frame capture) and level 0 of a 2D texture (the mosaic
// result image).
//
// Both read from the GL context that is current on the calling thread, so
// only the GUI thread with the view's context current may call them. They
// change no GL state that outlives the call: the pack alignment, pack row
// length and the 2D texture binding are restored before they return.
//
// Files hold the picture top row first, as it is seen on the screen (GL's
// bottom-up rows are turned around for the capture; a texture's row 0 is
// written as the top row, unflipped).

#include <string>

namespace tessaline {

// Reads the colour buffer of the current read framebuffer from (0, 0) over
// width x height pixels as RGBA and writes it as a 4-channel PNG when the
// path's extension is "png" or as a 32-bit BMP when it is "bmp" (case
// ignored, see LowerCaseExtension). On success logs "saved the screen image
// to <path>" on support_log(). Any other extension writes nothing, logs
// nothing and gives false; a failing writer gives false with its own message.
bool SaveScreenImage(const std::string& path, int width, int height);

// Reads level 0 of the 2D texture `texture` (a GL texture name, width x height
// texels) as GL_RGB when channels is 3 and GL_RGBA otherwise, and writes it
// with the program's picture writer (picture/image_write.h), which picks the
// format from the path's extension. Texels are stored red, green, blue in the
// file; alpha is dropped. Gives false with one line on support_log() when the
// texture's size differs from width x height or the file cannot be written.
bool SaveTextureImage(unsigned int texture, int width, int height, int channels,
                      const std::string& path);

}  // namespace tessaline
