#pragma once
// GlObject: the one owning handle of every kind of GL name the program makes
// (textures, framebuffer objects, programs). A kind is a traits type with
//     static GLuint Make();             // a fresh name, 0 when GL gave none
//     static void Delete(GLuint name);  // frees a name that is not 0
// The handle is move-only; 0 means none and deletes nothing. Making and
// deleting need the context the name belongs to current (GUI thread).

#include <GL/glew.h>

namespace tessaline {

template <typename Traits>
class GlObject {
 public:
  GlObject() = default;
  explicit GlObject(GLuint name) : name_(name) {}
  ~GlObject() { Reset(); }
  GlObject(GlObject&& other) noexcept : name_(other.Release()) {}
  GlObject& operator=(GlObject&& other) noexcept {
    if (this != &other) {
      Reset();
      name_ = other.Release();
    }
    return *this;
  }
  GlObject(const GlObject&) = delete;
  GlObject& operator=(const GlObject&) = delete;

  // A freshly made name.
  static GlObject Generate() { return GlObject(Traits::Make()); }

  GLuint name() const { return name_; }
  explicit operator bool() const { return name_ != 0; }
  // Deletes the object (if any); the handle becomes empty.
  void Reset() {
    if (name_ != 0) Traits::Delete(name_);
    name_ = 0;
  }
  // Gives up ownership without deleting: for names whose context is gone.
  GLuint Release() {
    const GLuint name = name_;
    name_ = 0;
    return name;
  }

 private:
  GLuint name_ = 0;
};

struct GlTextureTraits {
  static GLuint Make() {
    GLuint name = 0;
    glGenTextures(1, &name);
    return name;
  }
  static void Delete(GLuint name) { glDeleteTextures(1, &name); }
};

struct GlFramebufferTraits {
  static GLuint Make() {
    GLuint name = 0;
    glGenFramebuffersEXT(1, &name);
    return name;
  }
  static void Delete(GLuint name) { glDeleteFramebuffersEXT(1, &name); }
};

struct GlProgramTraits {
  static GLuint Make() { return glCreateProgram(); }
  static void Delete(GLuint name) { glDeleteProgram(name); }
};

using GlTexture = GlObject<GlTextureTraits>;
using GlFramebuffer = GlObject<GlFramebufferTraits>;
using GlProgram = GlObject<GlProgramTraits>;

}  // namespace tessaline
