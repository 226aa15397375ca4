#include "render/hidden_gl_context.h"

#include <GL/glew.h>
#include <GL/glx.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <thread>

#include "render/gl_capabilities.h"
#include "settings/log_stream.h"

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
                           GLX_DEPTH_SIZE,
                           16,
                           0};

int Attribute(Display* display, GLXFBConfig config, int name) {
  int value = 0;
  glXGetFBConfigAttrib(display, config, name, &value);
  return value;
}

// glXChooseFBConfig puts deeper colour first (10-bit channels on Xvfb),
// which Mesa cannot copy to a 24-bit screen. Take exactly 8 bits a channel,
// preferring a buffer as deep as the screen.
const GLXFBConfig* PickConfig(Display* display, const GLXFBConfig* configs, int count) {
  const GLXFBConfig* fallback = nullptr;
  for (int i = 0; i < count; ++i) {
    if (Attribute(display, configs[i], GLX_RED_SIZE) != 8 ||
        Attribute(display, configs[i], GLX_GREEN_SIZE) != 8 ||
        Attribute(display, configs[i], GLX_BLUE_SIZE) != 8) {
      continue;
    }
    if (Attribute(display, configs[i], GLX_BUFFER_SIZE) ==
        DefaultDepth(display, DefaultScreen(display))) {
      return &configs[i];
    }
    if (fallback == nullptr) fallback = &configs[i];
  }
  return fallback;
}

// Xlib's default handler ends the process on any protocol error; the caller
// should rather fail with its own message, the error logged beside it.
int ReportXError(Display* display, XErrorEvent* event) {
  char text[256] = {};
  XGetErrorText(display, event->error_code, text, sizeof text);
  support_log() << "X error : " << text << " (request " << static_cast<int>(event->request_code)
                << ")" << std::endl;
  return 0;
}

// One X connection for all contexts of the process, opened by the first and
// never closed (see the header). Not thread-safe.
Display* SharedDisplay(const char* name) {
  static Display* display = nullptr;
  // A busy X server may refuse a connection for a moment (EAGAIN on its
  // socket): try a few times before giving up.
  for (int attempt = 0; display == nullptr && attempt < 20; ++attempt) {
    display = XOpenDisplay(name);
    if (display == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (display != nullptr) XSetErrorHandler(ReportXError);
  return display;
}

}  // namespace

bool HasDisplay() {
  const char* name = std::getenv("DISPLAY");
  return name != nullptr && *name != '\0';
}

HiddenGlContext::HiddenGlContext(int width, int height)
    : width_(width), height_(height), handles_(std::make_unique<Handles>()) {
  if (!Open() && error_.empty()) error_ = "cannot create an OpenGL context";
}

bool HiddenGlContext::Open() {
  if (!HasDisplay()) {
    error_ = "no X display (DISPLAY is not set)";
    return false;
  }
  const char* name = std::getenv("DISPLAY");
  Display* display = SharedDisplay(name);
  if (display == nullptr) {
    error_ = std::string("cannot open the X display ") + name;
    return false;
  }
  handles_->display = display;
  const GLXFBConfig* config = nullptr;
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), kAttributes, &count);
  if (configs != nullptr) config = PickConfig(display, configs, count);
  if (config == nullptr) {
    if (configs != nullptr) XFree(configs);
    error_ = std::string("the X display ") + name + " offers no 8-bit RGB GLX pbuffer";
    return false;
  }
  const GLXFBConfig chosen = *config;
  XFree(configs);
  const int size[] = {GLX_PBUFFER_WIDTH, width_, GLX_PBUFFER_HEIGHT, height_, 0};
  handles_->pbuffer = glXCreatePbuffer(display, chosen, size);
  handles_->context = glXCreateNewContext(display, chosen, GLX_RGBA_TYPE, nullptr, True);
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
  // Before anything calls an entry point the context may not have.
  error_ = CheckCurrentGl(GLEW_OK);
  return error_.empty();
}

bool HiddenGlContext::MakeCurrent() {
  if (handles_->display == nullptr || handles_->context == nullptr) return false;
  return glXMakeContextCurrent(handles_->display, handles_->pbuffer, handles_->pbuffer,
                               handles_->context) == True;
}

HiddenGlContext::~HiddenGlContext() {
  Display* display = handles_->display;
  if (display == nullptr) return;
  glXMakeContextCurrent(display, 0, 0, nullptr);
  if (handles_->context != nullptr) glXDestroyContext(display, handles_->context);
  if (handles_->pbuffer != 0) glXDestroyPbuffer(display, handles_->pbuffer);
}

}  // namespace tessaline
