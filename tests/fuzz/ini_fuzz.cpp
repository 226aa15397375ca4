// Feeds arbitrary bytes to the INI text parser with variables of several types
// bound, then checks that what the store writes reads back to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>

#include "settings/ini_store.h"

namespace {

struct Bound {
  int width = 0;
  unsigned long search_num = 0;
  double scale = 0;
  float alpha = 0;
  std::string image_dir;
  char mark = 0;
  bool draw = false;
  short offset = 0;
  double target = 1.5;
  double* pointer = nullptr;
};

void RegisterAll(tessaline::qxINI& store, Bound& b) {
  store.Register("window", "width", &b.width, 640);
  store.Register("mosaic", "search_num", &b.search_num, 10ul);
  store.Register("mosaic", "scale", &b.scale, 0.96);
  store.Register("gl", "alpha", &b.alpha, 0.5f);
  store.Register("image", "image_dir", &b.image_dir, "./images");
  store.Register("gl", "mark", &b.mark, 'm');
  store.Register("gl", "draw", &b.draw, true);
  store.Register("", "offset", &b.offset, static_cast<short>(-3));
  store.Register("gl", "pointer", &b.pointer, &b.target);
}

std::string ParseAndWrite(const std::string& text) {
  std::ostream silent(nullptr);  // the store's messages are not looked at
  tessaline::qxINI store(silent);
  Bound bound;
  RegisterAll(store, bound);
  std::istringstream in(text);
  store.Parse(in);
  std::ostringstream out;
  store.Write(out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string written = ParseAndWrite(text);
  // Deleting blanks after cutting comments can join "/ /" into "//", which
  // the next read cuts; apart from that, written text reads back to itself,
  // and after one more pass it always does.
  const std::string again = ParseAndWrite(written);
  if (written.find("//") == std::string::npos && again != written) std::abort();
  if (ParseAndWrite(again) != again) std::abort();
  return 0;
}
