// The preview's picture through a frame buffer object: the scenes keep their 1024x768 window whatever the
// preview's window is, and their feedback copies read their own frame, never the overlay.
#include "preview_view.h"

#include <cstddef>

#include "gfx/text.h"
#include "platform/gl.h"
#include "platform/shell.h"

namespace {

// GL_EXT_framebuffer_object and GL_EXT_framebuffer_blit, looked up at run time: the program's headers stop at 1.1.
constexpr GLenum framebuffer = 0x8D40, renderbuffer = 0x8D41, colorAttachment0 = 0x8CE0, depthAttachment = 0x8D00;
constexpr GLenum readFramebuffer = 0x8CA8, drawFramebuffer = 0x8CA9, framebufferComplete = 0x8CD5;
constexpr GLenum rgba8 = 0x8058, depthComponent24 = 0x81A6;
#ifdef _WIN32
#define VOSTREL_GLAPI __stdcall
#else
#define VOSTREL_GLAPI
#endif
using GenFn = void(VOSTREL_GLAPI*)(GLsizei, GLuint*);
using BindFn = void(VOSTREL_GLAPI*)(GLenum, GLuint);
using StorageFn = void(VOSTREL_GLAPI*)(GLenum, GLenum, GLsizei, GLsizei);
using AttachFn = void(VOSTREL_GLAPI*)(GLenum, GLenum, GLenum, GLuint);
using StatusFn = GLenum(VOSTREL_GLAPI*)(GLenum);
using BlitFn = void(VOSTREL_GLAPI*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);
using DeleteFn = void(VOSTREL_GLAPI*)(GLsizei, const GLuint*);

GenFn genFramebuffers, genRenderbuffers;
BindFn bindFramebuffer, bindRenderbuffer;
StorageFn renderbufferStorage;
AttachFn framebufferRenderbuffer;
StatusFn checkFramebufferStatus;
BlitFn blitFramebuffer;
DeleteFn deleteFramebuffers, deleteRenderbuffers;

GLuint frame = 0, buffers[2] = {0, 0};
constexpr int pictureWidth = 1024, pictureHeight = 768;

template <typename Fn>
bool find(Fn* fn, const char* name) {
  *fn = reinterpret_cast<Fn>(shellGLFunction(name));
  return *fn != nullptr;
}

}  // namespace

ViewRect fitPicture(int windowWidth, int windowHeight) {
  if (windowWidth <= 0 || windowHeight <= 0) return {0, 0, 0, 0};
  // Width-bound when the window is at least as wide as 4:3 would make it, else height-bound.
  if (static_cast<long long>(windowWidth) * 3 <= static_cast<long long>(windowHeight) * 4) {
    const int height = static_cast<int>(static_cast<long long>(windowWidth) * 3 / 4);
    return {0, (windowHeight - height) / 2, windowWidth, height};
  }
  const int width = static_cast<int>(static_cast<long long>(windowHeight) * 4 / 3);
  return {(windowWidth - width) / 2, 0, width, windowHeight};
}

bool viewOpen(std::string* error) {
  const bool found = find(&genFramebuffers, "glGenFramebuffersEXT") && find(&bindFramebuffer, "glBindFramebufferEXT") &&
                     find(&genRenderbuffers, "glGenRenderbuffersEXT") &&
                     find(&bindRenderbuffer, "glBindRenderbufferEXT") &&
                     find(&renderbufferStorage, "glRenderbufferStorageEXT") &&
                     find(&framebufferRenderbuffer, "glFramebufferRenderbufferEXT") &&
                     find(&checkFramebufferStatus, "glCheckFramebufferStatusEXT") &&
                     find(&blitFramebuffer, "glBlitFramebufferEXT") &&
                     find(&deleteFramebuffers, "glDeleteFramebuffersEXT") &&
                     find(&deleteRenderbuffers, "glDeleteRenderbuffersEXT");
  if (!found) {
    *error = "the OpenGL driver has no frame buffer objects (GL_EXT_framebuffer_object and _blit), which the "
             "preview draws into";
    return false;
  }
  genFramebuffers(1, &frame);
  genRenderbuffers(2, buffers);
  bindFramebuffer(framebuffer, frame);
  bindRenderbuffer(renderbuffer, buffers[0]);
  renderbufferStorage(renderbuffer, rgba8, pictureWidth, pictureHeight);
  framebufferRenderbuffer(framebuffer, colorAttachment0, renderbuffer, buffers[0]);
  bindRenderbuffer(renderbuffer, buffers[1]);
  renderbufferStorage(renderbuffer, depthComponent24, pictureWidth, pictureHeight);
  framebufferRenderbuffer(framebuffer, depthAttachment, renderbuffer, buffers[1]);
  if (checkFramebufferStatus(framebuffer) != framebufferComplete) {
    *error = "the OpenGL driver cannot draw into a 1024x768 frame buffer object with depth";
    return false;
  }
  return true;
}

void viewBeginScene() { bindFramebuffer(framebuffer, frame); }

void viewShow(int windowWidth, int windowHeight, const std::vector<std::string>& lines) {
  const ViewRect rect = fitPicture(windowWidth, windowHeight);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  bindFramebuffer(readFramebuffer, frame);
  bindFramebuffer(drawFramebuffer, 0);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  blitFramebuffer(0, 0, pictureWidth, pictureHeight, rect.x, rect.y, rect.x + rect.width, rect.y + rect.height,
                  GL_COLOR_BUFFER_BIT, GL_LINEAR);
  bindFramebuffer(framebuffer, 0);

  if (!lines.empty()) {
    glViewport(0, 0, windowWidth, windowHeight);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, windowWidth, windowHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    constexpr int lineHeight = 15, margin = 6;
    size_t widest = 0;
    for (const std::string& line : lines) widest = line.size() > widest ? line.size() : widest;
    glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
    glRectf(0.0f, 0.0f, static_cast<float>(margin * 2 + widest * 7),
            static_cast<float>(margin * 2 + lines.size() * lineHeight));
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    // The text's position is given in a 768-row canvas (baseline 71 rows below y): moved to this window's rows.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (size_t i = 0; i < lines.size(); ++i) {
      const int baselineFromTop = margin + 11 + static_cast<int>(i) * lineHeight;
      printText(1, margin + 1, 697 - windowHeight + baselineFromTop, "%s", lines[i].c_str());
    }
  }
  glPopAttrib();
  shellSwapBuffers();
  bindFramebuffer(framebuffer, frame);
}

void viewClose() {
  if (!deleteFramebuffers || !frame) return;
  bindFramebuffer(framebuffer, 0);
  deleteFramebuffers(1, &frame);
  deleteRenderbuffers(2, buffers);
  frame = 0;
}
