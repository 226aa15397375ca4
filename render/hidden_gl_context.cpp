#include "render/hidden_gl_context.h"

#include <GL/glew.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>

namespace tessaline {

struct HiddenGlContext::Handles {
  Display* display = nullptr;
  GLXPbuffer pbuffer = 0;
  GLXContext context = nullptr;
};

namespace {

const int kAttributes[] = {GLX_DRAWABLE_TYPE,
                           GLX_PBUFFER_BIT,
                           GLX_RENDER_TYPE,
                           GLX_RGBA_BIT,
                           GLX_RED_SIZE,
                           8,
                           GLX_GREEN_SIZE,
                           8,
                           GLX_BLUE_SIZE,
                           8,
                           0};

int Attribute(Display* display, GLXFBConfig config, int name) {
  int value = 0;
  glXGetFBConfigAttrib(display, config, name, &value);
  return value;
}

// glXChooseFBConfig lists deeper colour first (10-bit channels on Xvfb);
// take a configuration of exactly 8 bits a channel.
bool PickConfig(Display* display, GLXFBConfig& chosen) {
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), kAttributes, &count);
  bool found = false;
  for (int i = 0; i < count && !found; ++i) {
    found = Attribute(display, configs[i], GLX_RED_SIZE) == 8 &&
            Attribute(display, configs[i], GLX_GREEN_SIZE) == 8 &&
            Attribute(display, configs[i], GLX_BLUE_SIZE) == 8;
    if (found) chosen = configs[i];
  }
  if (configs != nullptr) XFree(configs);
  return found;
}

// Xlib's default handler ends the process on any protocol error; the batch
// command rather reports it and carries on to its own failure message.
int ReportXError(Display* display, XErrorEvent* event) {
  char text[256] = {};
  XGetErrorText(display, event->error_code, text, sizeof text);
  std::fprintf(stderr, "X error : %s (request %d)\n", text, event->request_code);
  return 0;
}

}  // namespace

bool HasDisplay() {
  const char* name = std::getenv("DISPLAY");
  return name != nullptr && *name != '\0';
}

HiddenGlContext::HiddenGlContext() : handles_(std::make_unique<Handles>()) {
  if (!Open() && error_.empty()) error_ = "cannot create an OpenGL context";
}

bool HiddenGlContext::Open() {
  const char* name = std::getenv("DISPLAY");
  if (!HasDisplay()) {
    error_ = "no X display (DISPLAY is not set)";
    return false;
  }
  XSetErrorHandler(ReportXError);
  Display* display = XOpenDisplay(name);
  if (display == nullptr) {
    error_ = std::string("cannot open the X display ") + name;
    return false;
  }
  handles_->display = display;
  GLXFBConfig config{};
  if (!PickConfig(display, config)) {
    error_ = std::string("the X display ") + name + " offers no 8-bit RGB GLX pbuffer";
    return false;
  }
  const int size[] = {GLX_PBUFFER_WIDTH, 16, GLX_PBUFFER_HEIGHT, 16, 0};
  handles_->pbuffer = glXCreatePbuffer(display, config, size);
  handles_->context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
  if (handles_->pbuffer == 0 || handles_->context == nullptr ||
      !glXMakeContextCurrent(display, handles_->pbuffer, handles_->pbuffer, handles_->context)) {
    error_ = "cannot make a GLX pbuffer context current";
    return false;
  }
  glewExperimental = GL_TRUE;
  if (glewInit() != GLEW_OK) {
    error_ = "cannot initialise GLEW in the hidden context";
    return false;
  }
  return true;
}

HiddenGlContext::~HiddenGlContext() {
  Display* display = handles_->display;
  if (display == nullptr) return;
  glXMakeContextCurrent(display, 0, 0, nullptr);
  if (handles_->context != nullptr) glXDestroyContext(display, handles_->context);
  if (handles_->pbuffer != 0) glXDestroyPbuffer(display, handles_->pbuffer);
  // The X connection stays open until the process ends: closing it unloads
  // Mesa's driver, which leaves allocations behind that leak checkers report.
}

}  // namespace tessaline
