#include "render/gl_capabilities.h"

#include <GL/glew.h>

#include <cctype>
#include <utility>
#include <vector>

namespace tessaline {
namespace {

const char* const kLacksPrefix = "this display's OpenGL lacks what tessaline needs : ";

// The leading "major.minor" of a version string as a comparable pair; the
// minor part is read as a whole number, so GLSL's "1.10" is (1, 10).
// (-1, -1) when the string does not start with one.
std::pair<int, int> LeadingVersion(const std::string& text) {
  std::size_t i = 0;
  auto number = [&text, &i] {
    int value = -1;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      value = (value < 0 ? 0 : value * 10) + (text[i] - '0');
      if (value > 100000) return -1;  // not a version anyone ships
      ++i;
    }
    return value;
  };
  const int major = number();
  if (major < 0 || i >= text.size() || text[i] != '.') return {-1, -1};
  ++i;
  const int minor = number();
  if (minor < 0) return {-1, -1};
  return {major, minor};
}

// The found version as the user should read it: its leading number, or
// "none".
std::string Found(const std::string& text) {
  const std::pair<int, int> version = LeadingVersion(text);
  if (version.first < 0) return "none";
  return text.substr(0, text.find(' '));
}

std::string Join(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
  return joined;
}

std::string GlString(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

}  // namespace

std::string MissingGlText(const GlCapabilities& found) {
  std::vector<std::string> missing;
  if (LeadingVersion(found.version) < std::make_pair(2, 0))
    missing.push_back("OpenGL 2.0 (found " + Found(found.version) + ")");
  if (LeadingVersion(found.glsl_version) < std::make_pair(1, 10))
    missing.push_back("GLSL 1.10 (found " + Found(found.glsl_version) + ")");
  if (!found.framebuffer_objects) missing.push_back("framebuffer objects");
  return missing.empty() ? std::string() : kLacksPrefix + Join(missing);
}

GlCapabilities ReadGlCapabilities() {
  GlCapabilities found;
  found.version = GlString(GL_VERSION);
  // Below 2.0 the name is unknown: GL gives nothing and records an error.
  found.glsl_version = GlString(GL_SHADING_LANGUAGE_VERSION);
  found.framebuffer_objects = GLEW_EXT_framebuffer_object == GL_TRUE;
  // A few rounds at most: a lost context keeps answering with an error.
  for (int round = 0; round < 8 && glGetError() != GL_NO_ERROR; ++round) {
  }
  return found;
}

std::string CheckCurrentGl(unsigned int glew_status) {
  GlCapabilities found = ReadGlCapabilities();
  if (glew_status == GLEW_OK) return MissingGlText(found);
  // GLEW read no extension list: only the versions can be judged.
  found.framebuffer_objects = true;
  const std::string missing = MissingGlText(found);
  if (!missing.empty()) return missing;
  return kLacksPrefix + std::string("GLEW cannot start on it (") +
         reinterpret_cast<const char*>(glewGetErrorString(glew_status)) + ")";
}

}  // namespace tessaline
