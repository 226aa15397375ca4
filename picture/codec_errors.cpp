#include "picture/codec_errors.h"

#include <cstring>

namespace tessaline {
namespace {

[[noreturn]] void JumpOnJpegError(j_common_ptr info) {
  // `err` points at the manager, the first member of a JpegErrorJump.
  std::longjmp(reinterpret_cast<JpegErrorJump*>(info->err)->jump, 1);
}

[[noreturn]] void JumpOnPngError(png_structp png, png_const_charp message) {
  auto* text = static_cast<PngErrorText*>(png_get_error_ptr(png));
  if (text != nullptr) {
    std::strncpy(text->message, message ? message : "", sizeof text->message - 1);
    text->message[sizeof text->message - 1] = '\0';
  }
  png_longjmp(png, 1);
}

// Warnings (unknown profiles, odd chunks) do not stop a decode and are not
// worth a line in the program's output.
void IgnorePngWarning(png_structp, png_const_charp) {}

}  // namespace

jpeg_error_mgr* JumpingJpegErrors(JpegErrorJump& errors) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors.manager);
  manager->error_exit = JumpOnJpegError;
  return manager;
}

png_structp NewPngReader(PngErrorText* text) {
  return png_create_read_struct(PNG_LIBPNG_VER_STRING, text, JumpOnPngError, IgnorePngWarning);
}

png_structp NewPngWriter(PngErrorText* text) {
  return png_create_write_struct(PNG_LIBPNG_VER_STRING, text, JumpOnPngError, IgnorePngWarning);
}

}  // namespace tessaline
