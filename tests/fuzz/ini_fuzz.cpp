// Feeds arbitrary bytes to the INI text parser with variables of several types
// bound, then checks that what the store writes reads back to the same text,
// and that any bytes written as a value read back as those bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>

#include "settings/ini_store.h"
#include "settings/ini_text.h"

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

void CheckValueRoundTrip(const std::string& value) {
  const tessaline::IniLine line = tessaline::ParseIniLine("k=" + tessaline::IniValueText(value));
  if (line.kind != tessaline::IniLine::Kind::kPair || line.value != value) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckValueRoundTrip(text);
  // Written text reads back to itself: names and values are trimmed, never
  // joined, so no comment marker can appear that was not in the input.
  const std::string written = ParseAndWrite(text);
  if (ParseAndWrite(written) != written) std::abort();
  return 0;
}
