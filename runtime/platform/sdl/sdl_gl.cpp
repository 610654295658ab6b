// The graphics processor through OpenGL 3.3 core on the SDL window: the back
// screen is a framebuffer object (colour texture and 16-bit depth), drawing
// is batched triangles through one shader that reproduces the software
// renderer's integer weights, and presentation blits the back screen into
// the window.
#include <epoxy/gl.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/platform/sdl/sdl_fit.h"
#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {

struct PlatformTexture {
  GLuint id;
  int width, height, format;
};

namespace {

struct GlDevice {
  SDL_GLContext context;
  SDL_Window* window;
  int width, height;
  GLuint fbo, colour, depth;
  GLuint presentFbo, presentColour;  // top-down pixels shown instead of the back screen
  GLuint workFbo, workColour;         // target of the timed copies
  void* workPixels;
  GLuint program, vao, vbo;
  GLint uTarget, uUseTex, uUseMask, uAlphaMode, uDiscard, uParam, uBlend;
  PlatformGpuState last;
  bool lastValid;
  PlatformGpuInfo info;
  int swapInterval;
  bool robust;  // the driver reports resets
  bool lost;
};

GlDevice g_gl;

// Driver debug messages waiting for the runtime's log (QUARNEX_GL_DEBUG=1).
// The callback is synchronous, so it runs on the thread that drew.
constexpr int kMessages = 16;
char g_messages[kMessages][256];
int g_messageHead, g_messageCount;

void APIENTRY DebugMessage(GLenum, GLenum type, GLuint id, GLenum severity, GLsizei, const GLchar* message,
                           const void*) {
  if (severity == GL_DEBUG_SEVERITY_NOTIFICATION) return;
  if (g_messageCount == kMessages) return;  // the log is behind; keep the first ones
  int at = (g_messageHead + g_messageCount) % kMessages;
  snprintf(g_messages[at], sizeof(g_messages[at]), "type 0x%x id %u: %s", static_cast<unsigned>(type),
           static_cast<unsigned>(id), message ? message : "");
  ++g_messageCount;
}

bool DebugRequested() {
  const char* v = getenv("QUARNEX_GL_DEBUG");
  return v && strcmp(v, "1") == 0;
}

// Errors left by earlier calls must not be taken for the next call's.
void DrainErrors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec2 aUv;
layout(location = 2) in vec2 aMaskUv;
layout(location = 3) in vec3 aColour;
uniform vec2 uTarget;
out vec2 vUv;
out vec2 vMaskUv;
flat out vec3 vColour;
void main() {
  // Row y of the framebuffer is screen row y, so read-back is top-down.
  gl_Position = vec4(aPos.x * 2.0 / uTarget.x - 1.0, aPos.y * 2.0 / uTarget.y - 1.0, 0.0, 1.0);
  vUv = aUv;
  vMaskUv = aMaskUv;
  vColour = aColour;
}
)";

// Every value is handled as a byte so that brightness, parameter, alpha and
// mask weights come out as the software renderer computes them; only the
// final blend is the processor's own rounding.
const char* kFragmentShader = R"(#version 330 core
in vec2 vUv;
in vec2 vMaskUv;
flat in vec3 vColour;
uniform sampler2D uTex;
uniform sampler2D uMask;
uniform sampler2D uTable;
uniform int uUseTex, uUseMask, uAlphaMode, uDiscard, uParam, uBlend;
out vec4 oColour;
float Byte(float v) { return floor(v * 255.0 + 0.5); }
vec4 Texel(sampler2D t, vec2 at) {
  ivec2 size = textureSize(t, 0);
  return texelFetch(t, clamp(ivec2(floor(at)), ivec2(0), size - 1), 0);
}
void main() {
  vec3 s;
  float w = 1.0;
  if (uUseTex != 0) {
    vec4 t = Texel(uTex, vUv);
    float a = Byte(t.a);
    if (uDiscard != 0 && a == 0.0) discard;
    if ((uAlphaMode == 1 && a < 255.0) || uAlphaMode == 2) w *= a / 256.0;
    vec3 b = vec3(Byte(t.r), Byte(t.g), Byte(t.b));
    s = floor((vColour * b + 0.5) / 255.0);
  } else {
    s = vColour;
  }
  if (uUseMask != 0) {
    float m = Byte(Texel(uMask, vMaskUv).r);
    w *= Byte(texelFetch(uTable, ivec2(int(m), 0), 0).r) / 256.0;
  }
  if (uBlend == 0) {
    if (uParam < 256) w *= float(uParam) / 256.0;
    oColour = vec4(s / 255.0, w);
  } else if (uBlend == 3) {
    // d * s / 256, weighted towards d by alpha and mask like the mix.
    oColour = vec4(mix(vec3(1.0), s / 256.0, w), 1.0);
  } else {
    vec3 v = floor((float(min(uParam, 255)) * s + 0.5) / 255.0);
    if (w < 1.0) v = floor(v * w);
    oColour = vec4(v / 255.0, 1.0);
  }
}
)";

GLuint Compile(GLenum type, const char* source) {
  GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024];
    glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
    fprintf(stderr, "GL shader: %s\n", log);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

bool BuildProgram() {
  GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader);
  GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return false;
  }
  g_gl.program = glCreateProgram();
  glAttachShader(g_gl.program, vs);
  glAttachShader(g_gl.program, fs);
  glLinkProgram(g_gl.program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(g_gl.program, GL_LINK_STATUS, &ok);
  if (!ok) return false;
  glUseProgram(g_gl.program);
  glUniform1i(glGetUniformLocation(g_gl.program, "uTex"), 0);
  glUniform1i(glGetUniformLocation(g_gl.program, "uMask"), 1);
  glUniform1i(glGetUniformLocation(g_gl.program, "uTable"), 2);
  g_gl.uTarget = glGetUniformLocation(g_gl.program, "uTarget");
  g_gl.uUseTex = glGetUniformLocation(g_gl.program, "uUseTex");
  g_gl.uUseMask = glGetUniformLocation(g_gl.program, "uUseMask");
  g_gl.uAlphaMode = glGetUniformLocation(g_gl.program, "uAlphaMode");
  g_gl.uDiscard = glGetUniformLocation(g_gl.program, "uDiscard");
  g_gl.uParam = glGetUniformLocation(g_gl.program, "uParam");
  g_gl.uBlend = glGetUniformLocation(g_gl.program, "uBlend");
  return true;
}

GLuint MakeTexture(int width, int height, GLenum internal, GLenum format) {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), width, height, 0, format, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  return id;
}

bool Current() { return g_gl.context && SDL_GL_GetCurrentContext() == g_gl.context; }

void Shutdown() {
  if (!g_gl.context) return;
  if (Current()) {
    if (g_gl.vbo) glDeleteBuffers(1, &g_gl.vbo);
    if (g_gl.vao) glDeleteVertexArrays(1, &g_gl.vao);
    if (g_gl.program) glDeleteProgram(g_gl.program);
    if (g_gl.fbo) glDeleteFramebuffers(1, &g_gl.fbo);
    if (g_gl.presentFbo) glDeleteFramebuffers(1, &g_gl.presentFbo);
    if (g_gl.workFbo) glDeleteFramebuffers(1, &g_gl.workFbo);
    if (g_gl.workColour) glDeleteTextures(1, &g_gl.workColour);
    if (g_gl.colour) glDeleteTextures(1, &g_gl.colour);
    if (g_gl.presentColour) glDeleteTextures(1, &g_gl.presentColour);
    if (g_gl.depth) glDeleteRenderbuffers(1, &g_gl.depth);
  }
  free(g_gl.workPixels);
  SDL_GL_MakeCurrent(g_gl.window, nullptr);
  SDL_GL_DeleteContext(g_gl.context);
  memset(&g_gl, 0, sizeof(g_gl));
  g_messageHead = g_messageCount = 0;
}

bool SoftwareRenderer(const char* name) {
  return strstr(name, "llvmpipe") || strstr(name, "softpipe") || strstr(name, "swrast");
}

// A core 3.3 context, robust (resets reported) where the driver offers it.
SDL_GLContext CreateContext(SDL_Window* window) {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  const int debug = DebugRequested() ? SDL_GL_CONTEXT_DEBUG_FLAG : 0;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_ROBUST_ACCESS_FLAG | debug);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_LOSE_CONTEXT);
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, debug);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
    context = SDL_GL_CreateContext(window);
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
  return context;
}

int Init(int width, int height, int acceptSoftware) {
  Shutdown();
  SDL_Window* window = SdlMainWindow();
  if (!window || !(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) || width <= 0 || height <= 0) return -1;
  SDL_GLContext context = CreateContext(window);
  if (!context) return -1;
  g_gl.context = context;
  g_gl.window = window;
  g_gl.width = width;
  g_gl.height = height;
  if (SDL_GL_MakeCurrent(window, context) != 0 || epoxy_gl_version() < 33) {
    Shutdown();
    return -1;
  }
  // The renderer's name first: a rasteriser on the main processor that is
  // not wanted is given up before anything else is built.
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  snprintf(g_gl.info.renderer, sizeof(g_gl.info.renderer), "%s", renderer ? renderer : "");
  g_gl.info.softwareRasteriser = SoftwareRenderer(g_gl.info.renderer) ? 1 : 0;
  if (g_gl.info.softwareRasteriser && !acceptSoftware) {
    Shutdown();
    return -1;
  }
  if (DebugRequested() && epoxy_has_gl_extension("GL_KHR_debug")) {
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(DebugMessage, nullptr);
  }
  GLint flags = 0;
  glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
  g_gl.robust = epoxy_has_gl_extension("GL_ARB_robustness") &&
                ((flags & GL_CONTEXT_FLAG_ROBUST_ACCESS_BIT_ARB) != 0 || epoxy_gl_version() >= 45);
  // Presentation waits for the display's refresh: adaptive where offered
  // (a late frame is shown at once instead of waiting a whole refresh).
  g_gl.swapInterval = SDL_GL_SetSwapInterval(-1) == 0 ? -1 : SDL_GL_SetSwapInterval(1) == 0 ? 1 : 0;
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
  g_gl.info.maxTextureSide = maxSide;
  g_gl.info.minTextureSide = 0;  // OpenGL has no smallest texture

  g_gl.colour = MakeTexture(width, height, GL_RGBA8, GL_BGRA);
  glGenRenderbuffers(1, &g_gl.depth);
  glBindRenderbuffer(GL_RENDERBUFFER, g_gl.depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
  glGenFramebuffers(1, &g_gl.fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, g_gl.fbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g_gl.colour, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, g_gl.depth);
  bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (!complete || !BuildProgram()) {
    Shutdown();
    return -1;
  }
  glGenVertexArrays(1, &g_gl.vao);
  glBindVertexArray(g_gl.vao);
  glGenBuffers(1, &g_gl.vbo);
  glBindBuffer(GL_ARRAY_BUFFER, g_gl.vbo);
  const GLsizei stride = sizeof(PlatformGpuVertex);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PlatformGpuVertex, x)));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PlatformGpuVertex, u)));
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PlatformGpuVertex, mu)));
  glEnableVertexAttribArray(3);
  glVertexAttribPointer(3, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PlatformGpuVertex, r)));
  glUniform2f(g_gl.uTarget, static_cast<float>(width), static_cast<float>(height));
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glViewport(0, 0, width, height);
  // The back screen starts black, not with what video memory held.
  glBindFramebuffer(GL_FRAMEBUFFER, g_gl.fbo);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (glGetError() != GL_NO_ERROR) {
    Shutdown();
    return -1;
  }
  return 0;
}

int Ready() { return Current() ? 1 : 0; }

void GetInfo(PlatformGpuInfo* out) { *out = g_gl.info; }

PlatformTexture* CreateTexture(int width, int height, int format) {
  if (!Current() || width <= 0 || height <= 0) return nullptr;
  DrainErrors();
  PlatformTexture* t = new PlatformTexture;
  t->width = width;
  t->height = height;
  t->format = format;
  t->id = format == kGpuTextureR8 ? MakeTexture(width, height, GL_R8, GL_RED)
                                  : MakeTexture(width, height, GL_RGBA8, GL_BGRA);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &t->id);
    delete t;
    return nullptr;
  }
  g_gl.lastValid = false;
  return t;
}

void DestroyTexture(PlatformTexture* texture) {
  if (!texture) return;
  if (Current()) glDeleteTextures(1, &texture->id);
  g_gl.lastValid = false;
  delete texture;
}

int UpdateTexture(PlatformTexture* texture, int x, int y, int width, int height, const void* pixels, int pitch) {
  if (!Current() || !texture || width <= 0 || height <= 0) return -1;
  DrainErrors();
  const bool r8 = texture->format == kGpuTextureR8;
  glBindTexture(GL_TEXTURE_2D, texture->id);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, r8 ? pitch : pitch / 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, r8 ? GL_RED : GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  g_gl.lastValid = false;
  return glGetError() == GL_NO_ERROR ? 0 : -1;
}

void ApplyState(const PlatformGpuState& s) {
  if (g_gl.lastValid && memcmp(&g_gl.last, &s, sizeof(s)) == 0) return;
  glUseProgram(g_gl.program);
  glBindVertexArray(g_gl.vao);
  glBindFramebuffer(GL_FRAMEBUFFER, g_gl.fbo);
  glViewport(0, 0, g_gl.width, g_gl.height);
  glEnable(GL_SCISSOR_TEST);
  glScissor(s.clipLeft, s.clipTop, s.clipRight - s.clipLeft, s.clipBottom - s.clipTop);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, s.texture ? s.texture->id : 0);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, s.mask ? s.mask->id : 0);
  glActiveTexture(GL_TEXTURE2);
  glBindTexture(GL_TEXTURE_2D, s.maskTable ? s.maskTable->id : 0);
  glActiveTexture(GL_TEXTURE0);
  glUniform1i(g_gl.uUseTex, s.texture ? 1 : 0);
  glUniform1i(g_gl.uUseMask, s.mask && s.maskTable ? 1 : 0);
  glUniform1i(g_gl.uAlphaMode, s.alpha);
  glUniform1i(g_gl.uDiscard, s.discardZeroAlpha);
  glUniform1i(g_gl.uParam, s.param);
  glUniform1i(g_gl.uBlend, s.blend);
  glEnable(GL_BLEND);
  // The screen's fourth byte is left alone, as the software renderer does.
  switch (s.blend) {
    case kGpuBlendAdd:
      glBlendEquation(GL_FUNC_ADD);
      glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ONE);
      break;
    case kGpuBlendSubtract:
      glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
      glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ONE);
      break;
    case kGpuBlendMultiply:
      glBlendEquation(GL_FUNC_ADD);
      glBlendFuncSeparate(GL_ZERO, GL_SRC_COLOR, GL_ZERO, GL_ONE);
      break;
    default:
      glBlendEquation(GL_FUNC_ADD);
      glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
      break;
  }
  g_gl.last = s;
  g_gl.lastValid = true;
}

void Draw(const PlatformGpuState* state, const PlatformGpuVertex* vertices, int count) {
  if (!Current() || count <= 0) return;
  if (state->clipRight <= state->clipLeft || state->clipBottom <= state->clipTop) return;
  ApplyState(*state);
  glBindBuffer(GL_ARRAY_BUFFER, g_gl.vbo);
  // A fresh store each time, so the driver need not wait for the last draw.
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count) * static_cast<GLsizeiptr>(sizeof(PlatformGpuVertex)),
               vertices, GL_STREAM_DRAW);
  glDrawArrays(GL_TRIANGLES, 0, count);
}

void Clear(int r, int g, int b) {
  if (!Current()) return;
  glBindFramebuffer(GL_FRAMEBUFFER, g_gl.fbo);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  g_gl.lastValid = false;
}

void ReadBack(void* pixels, int pitch) {
  if (!Current()) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, g_gl.fbo);
  glPixelStorei(GL_PACK_ROW_LENGTH, pitch / 4);
  glReadPixels(0, 0, g_gl.width, g_gl.height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  g_gl.lastValid = false;
}

void WriteBack(const void* pixels, int pitch) {
  if (!Current()) return;
  glBindTexture(GL_TEXTURE_2D, g_gl.colour);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch / 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, g_gl.width, g_gl.height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  g_gl.lastValid = false;
}

void Present(const void* pixels, int pitch) {
  if (!Current()) return;
  GLuint source = g_gl.fbo;
  if (pixels) {
    if (!g_gl.presentFbo) {
      g_gl.presentColour = MakeTexture(g_gl.width, g_gl.height, GL_RGBA8, GL_BGRA);
      glGenFramebuffers(1, &g_gl.presentFbo);
      glBindFramebuffer(GL_FRAMEBUFFER, g_gl.presentFbo);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g_gl.presentColour, 0);
    }
    glBindTexture(GL_TEXTURE_2D, g_gl.presentColour);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch / 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, g_gl.width, g_gl.height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    source = g_gl.presentFbo;
  }
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(g_gl.window, &dw, &dh);
  const FrameFit fit = FitFrame(dw, dh, g_gl.width, g_gl.height);
  // FitFrame counts rows from the window's top, OpenGL from its bottom.
  const int x = fit.x, y = dh - fit.y - fit.height;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  // Screen row 0 is framebuffer row 0; the window's row 0 is at its bottom.
  glBlitFramebuffer(0, 0, g_gl.width, g_gl.height, x, y + fit.height, x + fit.width, y, GL_COLOR_BUFFER_BIT,
                    fit.wholeFactor ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(g_gl.window);
  g_gl.lastValid = false;
}

int SwapInterval() { return g_gl.context ? g_gl.swapInterval : 0; }

int ContextLost() {
  if (!Current()) return 0;
  if (!g_gl.lost && g_gl.robust) g_gl.lost = glGetGraphicsResetStatusARB() != GL_NO_ERROR;
  return g_gl.lost ? 1 : 0;
}

void CopyScreen(int throughMainMemory) {
  if (!Current()) return;
  if (!g_gl.workFbo) {
    g_gl.workColour = MakeTexture(g_gl.width, g_gl.height, GL_RGBA8, GL_BGRA);
    glGenFramebuffers(1, &g_gl.workFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, g_gl.workFbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g_gl.workColour, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return;
  }
  g_gl.lastValid = false;
  if (throughMainMemory) {
    if (!g_gl.workPixels) g_gl.workPixels = malloc(static_cast<size_t>(g_gl.width) * g_gl.height * 4);
    if (!g_gl.workPixels) return;
    ReadBack(g_gl.workPixels, g_gl.width * 4);
    glBindTexture(GL_TEXTURE_2D, g_gl.workColour);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, g_gl.width, g_gl.height, GL_BGRA, GL_UNSIGNED_BYTE, g_gl.workPixels);
  } else {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, g_gl.fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, g_gl.workFbo);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(0, 0, g_gl.width, g_gl.height, 0, 0, g_gl.width, g_gl.height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
  }
  glFinish();
}

int TakeMessage(char* text, size_t size) {
  if (g_messageCount == 0 || size == 0) return 0;
  snprintf(text, size, "%s", g_messages[g_messageHead]);
  g_messageHead = (g_messageHead + 1) % kMessages;
  --g_messageCount;
  return 1;
}

}  // namespace

void SdlGlRelease() { Shutdown(); }

const PlatformGpuOps kSdlGpuOps = {Init,      Shutdown,     Ready,       GetInfo,    CreateTexture,
                                   DestroyTexture, UpdateTexture, Draw,    Clear,      ReadBack,
                                   WriteBack, Present,      SwapInterval, ContextLost, CopyScreen,
                                   TakeMessage};

}  // namespace qx
