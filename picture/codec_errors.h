#pragma once
// How libjpeg and libpng report errors to us. Both libraries end a failed
// call by a jump to the point their caller set with setjmp: libjpeg through
// the error manager's error_exit, libpng through its error callback. The
// handlers here are the program's only ones; none prints anything (a caller
// that wants the library's message takes it from PngErrorText).
//
// The rule for every caller: a function that calls setjmp, and everything a
// jump may pass over, holds no object with a destructor.

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

namespace tessaline {

// A libjpeg error manager that jumps back to `jump` on an error. Warnings
// go to libjpeg's default emit_message unless the caller replaces it.
struct JpegErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// Sets up `errors` and gives the pointer for the codec's `err` field:
//   info.err = JumpingJpegErrors(errors);
//   if (setjmp(errors.jump) != 0) { ...failed... }
jpeg_error_mgr* JumpingJpegErrors(JpegErrorJump& errors);

// libpng's last error message, kept where png_get_error_ptr points.
struct PngErrorText {
  char message[160] = "";
};

// A libpng reader or writer whose errors jump back to setjmp(png_jmpbuf)
// with the message copied into `text` (when not null) and whose warnings
// are dropped. Null when libpng cannot make one.
png_structp NewPngReader(PngErrorText* text = nullptr);
png_structp NewPngWriter(PngErrorText* text = nullptr);

}  // namespace tessaline
