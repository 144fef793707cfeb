// OpenGL 1.1 and GLU on WebGL 1: the fixed-function calls the program makes, drawn by one shader of our own.
#include "platform/gl.h"

#include <webgl/webgl1.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

// The browser's GL has no fixed function: matrices, lighting, sphere-map coordinates, immediate mode,
// display lists and bitmaps live here. What WebGL has (textures, blending, depth, clears, copies) passes
// through, by emscripten's second name for each WebGL call where ours has taken the first.

namespace {

// ---- matrices, column-major as GL keeps them

struct Mat4 {
  float m[16];
};

constexpr Mat4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

Mat4 multiply(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += a.m[k * 4 + row] * b.m[c * 4 + k];
      r.m[c * 4 + row] = s;
    }
  return r;
}

void transform(const Mat4& a, const float v[4], float out[4]) {
  for (int row = 0; row < 4; ++row)
    out[row] = a.m[row] * v[0] + a.m[4 + row] * v[1] + a.m[8 + row] * v[2] + a.m[12 + row] * v[3];
}

constexpr int stackDepth = 32;
Mat4 modelview[stackDepth] = {identity};
Mat4 projection[stackDepth] = {identity};
Mat4 textureMatrix[4] = {identity};
int modelviewTop = 0, projectionTop = 0, textureTop = 0;
GLenum matrixMode = GL_MODELVIEW;

Mat4& currentMatrix() {
  if (matrixMode == GL_PROJECTION) return projection[projectionTop];
  if (matrixMode == GL_TEXTURE) return textureMatrix[textureTop];
  return modelview[modelviewTop];
}

bool uniformsStale = true;  // any state the shader reads has changed since the last draw

void multiplyCurrent(const Mat4& by) {
  currentMatrix() = multiply(currentMatrix(), by);
  uniformsStale = true;
}

// ---- fixed-function state

struct Light {
  float ambient[4] = {0, 0, 0, 1};
  float diffuse[4] = {0, 0, 0, 1};
  float position[4] = {0, 0, 1, 0};  // in eye coordinates, as given under the model-view matrix of the time
  bool on = false;
};

constexpr int lightCount = 2;  // the program lights with two; more are accepted and ignored
Light lights[lightCount];
bool lighting = false, texturing = false, texGenS = false, texGenT = false, colorMaterial = false, fog = false;
float color[4] = {1, 1, 1, 1};
float normal[3] = {0, 0, 1};
float texCoord[2] = {0, 0};
const float materialAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
const float materialDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const float modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};

GLint viewport[4] = {0, 0, 0, 0};
bool blending = false;
GLenum blendSource = GL_ONE, blendDestination = GL_ZERO;
GLint unpackAlignment = 4, packAlignment = 4;
GLuint listBase = 0;

struct Raster {
  float x = 0, y = 0, z = 0;
  float color[4] = {1, 1, 1, 1};
  bool valid = true;
};
Raster raster;

// ---- immediate mode

struct Vertex {
  float position[3];
  float color[4];
  float normal[3];
  float texCoord[2];
};

std::vector<Vertex> vertices;  // of the primitive between glBegin and glEnd
std::vector<Vertex> drawn;     // the same turned into what WebGL draws
GLenum primitive = 0;
bool inBegin = false;

// ---- display lists: the calls recorded, to be made again at each glCallList

enum class Op : unsigned char { begin, end, vertex, color, normal, texCoord, bitmap };

struct ListOp {
  Op op;
  float v[4];
  int bitmap;  // index into bitmaps
};

struct Bitmap {
  GLsizei width, height;
  float xorig, yorig, xmove, ymove;
  GLuint texture;  // the set bits as a luminance texture; 0 for an empty bitmap
};

std::vector<std::vector<ListOp>> lists(1);  // list 0 is never used
std::vector<Bitmap> bitmaps;
GLuint compiling = 0;  // the list being recorded, 0 when none

// ---- the shader and its inputs

GLuint program = 0, buffer = 0;
GLint uModelview, uProjection, uNormalMatrix, uLighting, uLightOn, uLightAmbient, uLightDiffuse, uLightPosition,
    uModelAmbient, uColorMaterial, uMaterialAmbient, uMaterialDiffuse, uTexGen, uTexturing, uBitmap, uWindow, uPremultiply;

const char* vertexShader = R"(
attribute vec3 aPosition;
attribute vec4 aColor;
attribute vec3 aNormal;
attribute vec2 aTexCoord;
uniform mat4 uModelview, uProjection;
uniform mat3 uNormalMatrix;
uniform bool uLighting, uColorMaterial, uTexGen, uBitmap;
uniform bool uLightOn[2];
uniform vec4 uLightAmbient[2], uLightDiffuse[2], uLightPosition[2];
uniform vec4 uModelAmbient, uMaterialAmbient, uMaterialDiffuse;
uniform vec2 uWindow;
varying vec4 vColor;
varying vec2 vTexCoord;
void main() {
  vTexCoord = aTexCoord;
  vColor = aColor;
  if (uBitmap) {  // window coordinates, and the raster position's depth
    gl_Position = vec4(aPosition.xy / uWindow * 2.0 - 1.0, aPosition.z * 2.0 - 1.0, 1.0);
    return;
  }
  vec4 eye = uModelview * vec4(aPosition, 1.0);
  gl_Position = uProjection * eye;
  // Normals are not rescaled: GL_NORMALIZE is off, and the cube's half-length normals halve its light.
  vec3 n = uNormalMatrix * aNormal;
  if (uLighting) {
    vec4 ambient = uColorMaterial ? aColor : uMaterialAmbient;
    vec4 diffuse = uColorMaterial ? aColor : uMaterialDiffuse;
    vec3 sum = uModelAmbient.rgb * ambient.rgb;
    for (int i = 0; i < 2; ++i) {
      if (!uLightOn[i]) continue;
      vec4 p = uLightPosition[i];
      vec3 l = normalize(p.w == 0.0 ? p.xyz : p.xyz * eye.w - eye.xyz * p.w);
      sum += uLightAmbient[i].rgb * ambient.rgb + max(dot(n, l), 0.0) * uLightDiffuse[i].rgb * diffuse.rgb;
    }
    vColor = vec4(clamp(sum, 0.0, 1.0), diffuse.a);
  }
  if (uTexGen) {  // sphere map
    vec3 u = normalize(eye.xyz);
    vec3 r = u - 2.0 * n * dot(n, u);
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    vTexCoord = r.xy / m + 0.5;
  }
}
)";

const char* fragmentShader = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform bool uTexturing, uBitmap, uPremultiply;
uniform sampler2D uSampler;
varying vec4 vColor;
varying vec2 vTexCoord;
void main() {
  vec4 colour = vColor;
  if (uBitmap) {
    if (texture2D(uSampler, vTexCoord).r < 0.5) discard;
  } else if (uTexturing) {
    colour *= texture2D(uSampler, vTexCoord);
  }
  // In 8-bit steps, as a fixed-function pipeline hands colours to blending: an alpha of 0.99 blends as
  // 252/255. Blending by the source's alpha, the source's share is rounded on its own, as Mesa does, and
  // the blend adds the destination's share to it: the feedback trails settle where Mesa's do.
  colour = floor(colour * 255.0 + 0.5);
  if (uPremultiply) colour.rgb = floor(colour.rgb * colour.a / 255.0 + 0.5);
  gl_FragColor = colour / 255.0;
}
)";

GLuint compile(GLenum type, const char* source) {
  const GLuint shader = emscripten_glCreateShader(type);
  emscripten_glShaderSource(shader, 1, &source, nullptr);
  emscripten_glCompileShader(shader);
  return shader;
}

constexpr GLuint aPosition = 0, aColor = 1, aNormal = 2, aTexCoord = 3;

void setUpShader() {
  program = emscripten_glCreateProgram();
  emscripten_glAttachShader(program, compile(GL_VERTEX_SHADER, vertexShader));
  emscripten_glAttachShader(program, compile(GL_FRAGMENT_SHADER, fragmentShader));
  emscripten_glBindAttribLocation(program, aPosition, "aPosition");
  emscripten_glBindAttribLocation(program, aColor, "aColor");
  emscripten_glBindAttribLocation(program, aNormal, "aNormal");
  emscripten_glBindAttribLocation(program, aTexCoord, "aTexCoord");
  emscripten_glLinkProgram(program);
  emscripten_glUseProgram(program);
  const auto at = [](const char* name) { return emscripten_glGetUniformLocation(program, name); };
  uModelview = at("uModelview");
  uProjection = at("uProjection");
  uNormalMatrix = at("uNormalMatrix");
  uLighting = at("uLighting");
  uLightOn = at("uLightOn");
  uLightAmbient = at("uLightAmbient");
  uLightDiffuse = at("uLightDiffuse");
  uLightPosition = at("uLightPosition");
  uModelAmbient = at("uModelAmbient");
  uColorMaterial = at("uColorMaterial");
  uMaterialAmbient = at("uMaterialAmbient");
  uMaterialDiffuse = at("uMaterialDiffuse");
  uTexGen = at("uTexGen");
  uTexturing = at("uTexturing");
  uBitmap = at("uBitmap");
  uWindow = at("uWindow");
  uPremultiply = at("uPremultiply");
  emscripten_glUniform1i(at("uSampler"), 0);
  emscripten_glGenBuffers(1, &buffer);
  emscripten_glBindBuffer(GL_ARRAY_BUFFER, buffer);
  const GLsizei stride = sizeof(Vertex);
  emscripten_glEnableVertexAttribArray(aPosition);
  emscripten_glEnableVertexAttribArray(aColor);
  emscripten_glEnableVertexAttribArray(aNormal);
  emscripten_glEnableVertexAttribArray(aTexCoord);
  emscripten_glVertexAttribPointer(aPosition, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, position)));
  emscripten_glVertexAttribPointer(aColor, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, color)));
  emscripten_glVertexAttribPointer(aNormal, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, normal)));
  emscripten_glVertexAttribPointer(aTexCoord, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, texCoord)));
}

// The inverse transpose of the model-view matrix's upper 3x3, which carries normals into eye space.
void normalMatrix(const Mat4& a, float out[9]) {
  const float* m = a.m;
  const float c00 = m[5] * m[10] - m[9] * m[6], c01 = m[9] * m[2] - m[1] * m[10], c02 = m[1] * m[6] - m[5] * m[2];
  const float det = m[0] * c00 + m[4] * c01 + m[8] * c02;
  const float inv = det != 0.0f ? 1.0f / det : 0.0f;
  // Rows of the inverse, i.e. columns of its transpose.
  const float inverse[9] = {c00 * inv, c01 * inv, c02 * inv,
                            (m[8] * m[6] - m[4] * m[10]) * inv, (m[0] * m[10] - m[8] * m[2]) * inv,
                            (m[4] * m[2] - m[0] * m[6]) * inv,
                            (m[4] * m[9] - m[8] * m[5]) * inv, (m[8] * m[1] - m[0] * m[9]) * inv,
                            (m[0] * m[5] - m[4] * m[1]) * inv};
  // inverse[] holds the inverse column by column; its transpose, column by column, is its rows.
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[c * 3 + r] = inverse[r * 3 + c];
}

void sendUniforms(bool bitmap) {
  static bool lastBitmap = false;
  if (!uniformsStale && bitmap == lastBitmap) return;
  uniformsStale = false;
  lastBitmap = bitmap;
  emscripten_glUniform1i(uBitmap, bitmap);
  emscripten_glUniform2f(uWindow, static_cast<float>(viewport[2]), static_cast<float>(viewport[3]));
  emscripten_glUniformMatrix4fv(uModelview, 1, GL_FALSE, modelview[modelviewTop].m);
  emscripten_glUniformMatrix4fv(uProjection, 1, GL_FALSE, projection[projectionTop].m);
  float nm[9];
  normalMatrix(modelview[modelviewTop], nm);
  emscripten_glUniformMatrix3fv(uNormalMatrix, 1, GL_FALSE, nm);
  emscripten_glUniform1i(uLighting, lighting);
  GLint on[lightCount];
  float ambient[4 * lightCount], diffuse[4 * lightCount], position[4 * lightCount];
  for (int i = 0; i < lightCount; ++i) {
    on[i] = lights[i].on;
    std::memcpy(ambient + 4 * i, lights[i].ambient, sizeof lights[i].ambient);
    std::memcpy(diffuse + 4 * i, lights[i].diffuse, sizeof lights[i].diffuse);
    std::memcpy(position + 4 * i, lights[i].position, sizeof lights[i].position);
  }
  emscripten_glUniform1iv(uLightOn, lightCount, on);
  emscripten_glUniform4fv(uLightAmbient, lightCount, ambient);
  emscripten_glUniform4fv(uLightDiffuse, lightCount, diffuse);
  emscripten_glUniform4fv(uLightPosition, lightCount, position);
  emscripten_glUniform4fv(uModelAmbient, 1, modelAmbient);
  emscripten_glUniform1i(uColorMaterial, colorMaterial);
  emscripten_glUniform4fv(uMaterialAmbient, 1, materialAmbient);
  emscripten_glUniform4fv(uMaterialDiffuse, 1, materialDiffuse);
  emscripten_glUniform1i(uTexGen, texGenS && texGenT);
  emscripten_glUniform1i(uTexturing, texturing);
  emscripten_glUniform1i(uPremultiply, blending && blendSource == GL_SRC_ALPHA);
}

void drawArrays(GLenum mode, const std::vector<Vertex>& v, bool bitmap) {
  if (v.empty()) return;
  if (!program) setUpShader();
  sendUniforms(bitmap);
  emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(Vertex)), v.data(), GL_STREAM_DRAW);
  emscripten_glDrawArrays(mode, 0, static_cast<GLsizei>(v.size()));
}

// Turns the primitive into one WebGL has: quads into triangle pairs, a quad strip into a triangle strip.
void flushPrimitive() {
  GLenum mode = primitive;
  const std::vector<Vertex>* v = &vertices;
  switch (primitive) {
    case GL_QUADS:
      drawn.clear();
      for (size_t i = 0; i + 3 < vertices.size(); i += 4)
        for (int k : {0, 1, 3, 1, 2, 3}) drawn.push_back(vertices[i + k]);
      mode = GL_TRIANGLES;
      v = &drawn;
      break;
    case GL_QUAD_STRIP:
      mode = GL_TRIANGLE_STRIP;
      break;
    case GL_POLYGON:
      mode = GL_TRIANGLE_FAN;
      break;
    default:
      break;
  }
  drawArrays(mode, *v, false);
}

void record(Op op, float a = 0, float b = 0, float c = 0, float d = 0, int bitmap = -1) {
  lists[compiling].push_back(ListOp{op, {a, b, c, d}, bitmap});
}

// Draws a bitmap's set pixels at the raster position in the raster colour, and moves the position on.
void drawBitmap(const Bitmap& b) {
  if (!raster.valid) return;
  if (b.texture) {
    const float x0 = std::floor(raster.x - b.xorig), y0 = std::floor(raster.y - b.yorig);
    const float x1 = x0 + static_cast<float>(b.width), y1 = y0 + static_cast<float>(b.height);
    drawn.clear();
    const float corners[6][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x1, y1, 1, 1},
                                 {x0, y0, 0, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
    for (const auto& c : corners) {
      Vertex v{};
      // Relative to the viewport, which the shader maps onto the window's clip space.
      v.position[0] = c[0] - static_cast<float>(viewport[0]);
      v.position[1] = c[1] - static_cast<float>(viewport[1]);
      v.position[2] = raster.z;
      std::memcpy(v.color, raster.color, sizeof v.color);
      v.texCoord[0] = c[2];
      v.texCoord[1] = c[3];
      drawn.push_back(v);
    }
    GLint bound = 0;
    emscripten_glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    emscripten_glBindTexture(GL_TEXTURE_2D, b.texture);
    drawArrays(GL_TRIANGLES, drawn, true);
    emscripten_glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  }
  raster.x += b.xmove;
  raster.y += b.ymove;
}

void callList(GLuint list) {
  if (list == 0 || list >= lists.size()) return;
  for (const ListOp& op : lists[list]) switch (op.op) {
      case Op::begin: glBegin(static_cast<GLenum>(op.v[0])); break;
      case Op::end: glEnd(); break;
      case Op::vertex: glVertex3f(op.v[0], op.v[1], op.v[2]); break;
      case Op::color: glColor4f(op.v[0], op.v[1], op.v[2], op.v[3]); break;
      case Op::normal: glNormal3f(op.v[0], op.v[1], op.v[2]); break;
      case Op::texCoord: glTexCoord2f(op.v[0], op.v[1]); break;
      case Op::bitmap: drawBitmap(bitmaps[static_cast<size_t>(op.bitmap)]); break;
    }
}

// ---- textures: what GL 1.1 reads back that WebGL cannot tell

struct TextureSize {
  GLuint name;
  GLint width, height;
};
std::vector<TextureSize> textureSizes;

void rememberSize(GLint width, GLint height) {
  GLint bound = 0;
  emscripten_glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  for (TextureSize& t : textureSizes)
    if (t.name == static_cast<GLuint>(bound)) {
      t.width = width;
      t.height = height;
      return;
    }
  textureSizes.push_back({static_cast<GLuint>(bound), width, height});
}

GLenum formatOf(GLint components) {
  switch (components) {
    case 1: return GL_LUMINANCE;
    case 2: return GL_LUMINANCE_ALPHA;
    case 3: return GL_RGB;
    case 4: return GL_RGBA;
    default: return static_cast<GLenum>(components);
  }
}

int componentsOf(GLenum format) {
  switch (format) {
    case GL_LUMINANCE: case GL_ALPHA: return 1;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_RGB: return 3;
    default: return 4;
  }
}

// ---- attribute stacks

struct Saved {
  GLbitfield mask;
  GLenum matrixMode;
  GLint viewport[4];
  GLuint listBase;
  bool enables[7];
};
std::vector<Saved> attribStack;
std::vector<GLint> clientStack;

}  // namespace

// ---- state switches

void glEnable(GLenum cap) {
  uniformsStale = true;
  switch (cap) {
    case GL_LIGHTING: lighting = true; return;
    case GL_LIGHT0: case GL_LIGHT0 + 1: if (cap - GL_LIGHT0 < lightCount) lights[cap - GL_LIGHT0].on = true; return;
    case GL_TEXTURE_2D: texturing = true; return;
    case GL_TEXTURE_GEN_S: texGenS = true; return;
    case GL_TEXTURE_GEN_T: texGenT = true; return;
    case GL_COLOR_MATERIAL: colorMaterial = true; return;
    case GL_FOG: fog = true; return;  // set up by the program but never drawn with
    case GL_BLEND: blending = true; break;
    default: break;
  }
  emscripten_glEnable(cap);
}

void glDisable(GLenum cap) {
  uniformsStale = true;
  switch (cap) {
    case GL_LIGHTING: lighting = false; return;
    case GL_LIGHT0: case GL_LIGHT0 + 1: if (cap - GL_LIGHT0 < lightCount) lights[cap - GL_LIGHT0].on = false; return;
    case GL_TEXTURE_2D: texturing = false; return;
    case GL_TEXTURE_GEN_S: texGenS = false; return;
    case GL_TEXTURE_GEN_T: texGenT = false; return;
    case GL_COLOR_MATERIAL: colorMaterial = false; return;
    case GL_FOG: fog = false; return;
    case GL_BLEND: blending = false; break;
    default: break;
  }
  emscripten_glDisable(cap);
}

GLboolean glIsEnabled(GLenum cap) {
  switch (cap) {
    case GL_LIGHTING: return lighting;
    case GL_LIGHT0: case GL_LIGHT0 + 1: return cap - GL_LIGHT0 < lightCount && lights[cap - GL_LIGHT0].on;
    case GL_TEXTURE_2D: return texturing;
    case GL_TEXTURE_GEN_S: return texGenS;
    case GL_TEXTURE_GEN_T: return texGenT;
    case GL_COLOR_MATERIAL: return colorMaterial;
    case GL_FOG: return fog;
    default: return emscripten_glIsEnabled(cap);
  }
}

// The shader hands over its colour already multiplied by its alpha when the source is blended by it.
void glBlendFunc(GLenum source, GLenum destination) {
  blendSource = source;
  blendDestination = destination;
  uniformsStale = true;
  emscripten_glBlendFunc(source == GL_SRC_ALPHA ? GL_ONE : source, destination);
}

void glShadeModel(GLenum) {}  // smooth, the only one the program asks for
void glHint(GLenum, GLenum) {}  // hints WebGL does not know
void glFogi(GLenum, GLint) {}
void glFogf(GLenum, GLfloat) {}
void glFogfv(GLenum, const GLfloat*) {}
void glTexGeni(GLenum, GLenum, GLint) {}  // sphere map, the only mode the program sets
void glClearDepth(GLclampd depth) { emscripten_glClearDepthf(static_cast<GLclampf>(depth)); }

void glLightfv(GLenum light, GLenum name, const GLfloat* v) {
  if (light < GL_LIGHT0 || light - GL_LIGHT0 >= lightCount) return;
  Light& l = lights[light - GL_LIGHT0];
  uniformsStale = true;
  switch (name) {
    case GL_AMBIENT: std::memcpy(l.ambient, v, sizeof l.ambient); break;
    case GL_DIFFUSE: std::memcpy(l.diffuse, v, sizeof l.diffuse); break;
    case GL_POSITION: transform(modelview[modelviewTop], v, l.position); break;
    default: break;
  }
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  viewport[0] = x;
  viewport[1] = y;
  viewport[2] = width;
  viewport[3] = height;
  uniformsStale = true;
  emscripten_glViewport(x, y, width, height);
}

// ---- matrices

void glMatrixMode(GLenum mode) { matrixMode = mode; }

void glLoadIdentity() {
  currentMatrix() = identity;
  uniformsStale = true;
}

void glPushMatrix() {
  if (matrixMode == GL_PROJECTION) {
    if (projectionTop + 1 < stackDepth) projection[projectionTop + 1] = projection[projectionTop], ++projectionTop;
  } else if (matrixMode == GL_TEXTURE) {
    if (textureTop + 1 < 4) textureMatrix[textureTop + 1] = textureMatrix[textureTop], ++textureTop;
  } else if (modelviewTop + 1 < stackDepth) {
    modelview[modelviewTop + 1] = modelview[modelviewTop];
    ++modelviewTop;
  }
}

void glPopMatrix() {
  if (matrixMode == GL_PROJECTION) {
    if (projectionTop > 0) --projectionTop;
  } else if (matrixMode == GL_TEXTURE) {
    if (textureTop > 0) --textureTop;
  } else if (modelviewTop > 0) {
    --modelviewTop;
  }
  uniformsStale = true;
}

void glMultMatrixf(const GLfloat* m) {
  Mat4 by;
  std::memcpy(by.m, m, sizeof by.m);
  multiplyCurrent(by);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  Mat4 t = identity;
  t.m[12] = x;
  t.m[13] = y;
  t.m[14] = z;
  multiplyCurrent(t);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length == 0.0f) return;
  x /= length, y /= length, z /= length;
  const float radians = angle * static_cast<float>(M_PI / 180.0);
  const float s = std::sin(radians), c = std::cos(radians), t = 1.0f - c;
  const Mat4 r = {{x * x * t + c, y * x * t + z * s, x * z * t - y * s, 0,
                   x * y * t - z * s, y * y * t + c, y * z * t + x * s, 0,
                   x * z * t + y * s, y * z * t - x * s, z * z * t + c, 0,
                   0, 0, 0, 1}};
  multiplyCurrent(r);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble nearVal, GLdouble farVal) {
  Mat4 o = identity;
  o.m[0] = static_cast<float>(2.0 / (right - left));
  o.m[5] = static_cast<float>(2.0 / (top - bottom));
  o.m[10] = static_cast<float>(-2.0 / (farVal - nearVal));
  o.m[12] = static_cast<float>(-(right + left) / (right - left));
  o.m[13] = static_cast<float>(-(top + bottom) / (top - bottom));
  o.m[14] = static_cast<float>(-(farVal + nearVal) / (farVal - nearVal));
  multiplyCurrent(o);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  const double radians = fovy / 2.0 * M_PI / 180.0;
  const double depth = zFar - zNear, sine = std::sin(radians);
  if (depth == 0.0 || sine == 0.0 || aspect == 0.0) return;
  const double cotangent = std::cos(radians) / sine;
  Mat4 p = identity;
  p.m[0] = static_cast<float>(cotangent / aspect);
  p.m[5] = static_cast<float>(cotangent);
  p.m[10] = static_cast<float>(-(zFar + zNear) / depth);
  p.m[11] = -1.0f;
  p.m[14] = static_cast<float>(-2.0 * zNear * zFar / depth);
  p.m[15] = 0.0f;
  multiplyCurrent(p);
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ) {
  // Single precision throughout, as GLU computes it.
  float f[3] = {static_cast<float>(centerX - eyeX), static_cast<float>(centerY - eyeY), static_cast<float>(centerZ - eyeZ)};
  float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
  const auto normalize = [](float v[3]) {
    const float r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f) return;
    v[0] /= r, v[1] /= r, v[2] /= r;
  };
  const auto cross = [](const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
  };
  normalize(f);
  float s[3], u[3];
  cross(f, up, s);
  normalize(s);
  cross(s, f, u);
  const Mat4 m = {{s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1}};
  multiplyCurrent(m);
  glTranslatef(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

// ---- immediate mode

void glBegin(GLenum mode) {
  if (compiling) return record(Op::begin, static_cast<float>(mode));
  primitive = mode;
  vertices.clear();
  inBegin = true;
}

void glEnd() {
  if (compiling) return record(Op::end);
  if (!inBegin) return;
  inBegin = false;
  flushPrimitive();
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  if (compiling) return record(Op::vertex, x, y, z);
  if (!inBegin) return;
  Vertex v;
  v.position[0] = x, v.position[1] = y, v.position[2] = z;
  std::memcpy(v.color, color, sizeof color);
  std::memcpy(v.normal, normal, sizeof normal);
  std::memcpy(v.texCoord, texCoord, sizeof texCoord);
  vertices.push_back(v);
}

void glVertex2f(GLfloat x, GLfloat y) { glVertex3f(x, y, 0.0f); }
void glVertex3fv(const GLfloat* v) { glVertex3f(v[0], v[1], v[2]); }

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  if (compiling) return record(Op::color, r, g, b, a);
  const auto clamp = [](float c) { return c < 0.0f ? 0.0f : c > 1.0f ? 1.0f : c; };
  color[0] = clamp(r), color[1] = clamp(g), color[2] = clamp(b), color[3] = clamp(a);
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b) { glColor4f(r, g, b, 1.0f); }
void glColor4fv(const GLfloat* v) { glColor4f(v[0], v[1], v[2], v[3]); }

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  if (compiling) return record(Op::normal, x, y, z);
  normal[0] = x, normal[1] = y, normal[2] = z;
}

void glTexCoord2f(GLfloat s, GLfloat t) {
  if (compiling) return record(Op::texCoord, s, t);
  texCoord[0] = s, texCoord[1] = t;
}

void glTexCoord2d(GLdouble s, GLdouble t) { glTexCoord2f(static_cast<float>(s), static_cast<float>(t)); }

// ---- display lists

GLuint glGenLists(GLsizei range) {
  if (range <= 0) return 0;
  const GLuint base = static_cast<GLuint>(lists.size());
  lists.resize(lists.size() + static_cast<size_t>(range));
  return base;
}

void glNewList(GLuint list, GLenum) {
  if (list == 0 || list >= lists.size()) return;
  lists[list].clear();
  compiling = list;
}

void glEndList() { compiling = 0; }
void glCallList(GLuint list) { callList(list); }
void glListBase(GLuint base) { listBase = base; }

void glCallLists(GLsizei n, GLenum type, const GLvoid* names) {
  if (type != GL_UNSIGNED_BYTE) return;  // the text's only kind
  const auto* bytes = static_cast<const GLubyte*>(names);
  for (GLsizei i = 0; i < n; ++i) callList(listBase + bytes[i]);
}

// ---- bitmaps

void glRasterPos4f(GLfloat x, GLfloat y, GLfloat z, GLfloat w) {
  const float object[4] = {x, y, z, w};
  float eye[4], clip[4];
  transform(modelview[modelviewTop], object, eye);
  transform(projection[projectionTop], eye, clip);
  raster.valid = clip[3] != 0.0f && std::fabs(clip[0]) <= clip[3] && std::fabs(clip[1]) <= clip[3] &&
                 std::fabs(clip[2]) <= clip[3];
  if (!raster.valid) return;
  const float nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
  raster.x = static_cast<float>(viewport[0]) + (nx + 1.0f) * 0.5f * static_cast<float>(viewport[2]);
  raster.y = static_cast<float>(viewport[1]) + (ny + 1.0f) * 0.5f * static_cast<float>(viewport[3]);
  raster.z = (nz + 1.0f) * 0.5f;
  std::memcpy(raster.color, color, sizeof color);
}

void glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
              const GLubyte* bits) {
  Bitmap b{width, height, xorig, yorig, xmove, ymove, 0};
  if (width > 0 && height > 0 && bits) {
    // Rows bottom-up, most significant bit first, each padded to the unpack alignment.
    const int rowBytes = (width + 7) / 8;
    const int stride = (rowBytes + unpackAlignment - 1) / unpackAlignment * unpackAlignment;
    std::vector<GLubyte> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        pixels[static_cast<size_t>(y) * width + x] = (bits[y * stride + x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
    GLint bound = 0;
    emscripten_glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    emscripten_glGenTextures(1, &b.texture);
    emscripten_glBindTexture(GL_TEXTURE_2D, b.texture);
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    emscripten_glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, width, height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels.data());
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    emscripten_glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  }
  bitmaps.push_back(b);
  if (compiling) return record(Op::bitmap, 0, 0, 0, 0, static_cast<int>(bitmaps.size() - 1));
  drawBitmap(b);
}

// ---- attribute stacks

void glPushAttrib(GLbitfield mask) {
  Saved s{mask, matrixMode, {viewport[0], viewport[1], viewport[2], viewport[3]}, listBase, {}};
  attribStack.push_back(s);
}

void glPopAttrib() {
  if (attribStack.empty()) return;
  const Saved s = attribStack.back();
  attribStack.pop_back();
  if (s.mask & GL_TRANSFORM_BIT) matrixMode = s.matrixMode;
  if (s.mask & GL_VIEWPORT_BIT) glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
  if (s.mask & GL_LIST_BIT) listBase = s.listBase;
}

void glPushClientAttrib(GLbitfield) {
  clientStack.push_back(unpackAlignment);
  clientStack.push_back(packAlignment);
}

void glPopClientAttrib() {
  if (clientStack.size() < 2) return;
  glPixelStorei(GL_PACK_ALIGNMENT, clientStack.back());
  clientStack.pop_back();
  glPixelStorei(GL_UNPACK_ALIGNMENT, clientStack.back());
  clientStack.pop_back();
}

void glPixelStorei(GLenum name, GLint value) {
  // WebGL has the alignment; the rest are pinned by the program to their defaults.
  if (name != GL_UNPACK_ALIGNMENT && name != GL_PACK_ALIGNMENT) return;
  if (name == GL_UNPACK_ALIGNMENT) unpackAlignment = value;
  if (name == GL_PACK_ALIGNMENT) packAlignment = value;
  emscripten_glPixelStorei(name, value);
}

// ---- textures

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels) {
  const GLenum webFormat = formatOf(internalFormat);
  if (level == 0) rememberSize(width, height);
  if (type == GL_UNSIGNED_BYTE) {
    emscripten_glTexImage2D(target, level, static_cast<GLint>(webFormat), width, height, border, format, type, pixels);
    return;
  }
  // WebGL 1 takes bytes only: wider components keep their top byte.
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(componentsOf(format));
  std::vector<GLubyte> bytes(count, 0);
  if (pixels && type == GL_UNSIGNED_INT)
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<GLubyte>(static_cast<const GLuint*>(pixels)[i] >> 24);
  GLint alignment = unpackAlignment;
  emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  emscripten_glTexImage2D(target, level, static_cast<GLint>(webFormat), width, height, border, format, GL_UNSIGNED_BYTE,
                          bytes.data());
  emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void glCopyTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y, GLsizei width,
                      GLsizei height, GLint border) {
  if (level == 0) rememberSize(width, height);
  emscripten_glCopyTexImage2D(target, level, internalFormat, x, y, width, height, border);
}

void glGetTexLevelParameteriv(GLenum, GLint level, GLenum name, GLint* value) {
  *value = 0;
  if (level != 0) return;
  GLint bound = 0;
  emscripten_glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  for (const TextureSize& t : textureSizes)
    if (t.name == static_cast<GLuint>(bound)) *value = name == GL_TEXTURE_WIDTH ? t.width : name == GL_TEXTURE_HEIGHT ? t.height : 0;
}

// GLU's rule for a side that is not a power of two: the nearest one, 3 x 2^n rounding up.
static GLint nearestPower(GLint value) {
  GLint power = 1;
  for (;;) {
    if (value <= 1) return power;
    if (value == 3) return power * 4;
    value >>= 1;
    power *= 2;
  }
}

// Which source pixels make up each target pixel along one side, and by how much: a target pixel averages
// the source span it covers, partly covered pixels by the part.
struct Span {
  int first, count;
  float weights[8];  // GLU's sizes and the mipmap levels shrink a side at most twofold: 3 pixels at most
};

static std::vector<Span> spansFor(int from, int to) {
  std::vector<Span> spans(static_cast<size_t>(to));
  const double scale = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    const double a = i * scale, b = a + scale;
    Span& span = spans[static_cast<size_t>(i)];
    span.first = static_cast<int>(a);
    span.count = 0;
    for (int k = span.first; k < from && k < b && span.count < 8; ++k)
      span.weights[span.count++] = static_cast<float>((std::fmin(b, k + 1.0) - std::fmax(a, static_cast<double>(k))) / scale);
  }
  return spans;
}

// Box-filters an image of `components` bytes a pixel to another size, one side at a time (the weights of an
// area average are the products of those along each side).
static void scaleImage(const GLubyte* in, int inW, int inH, int inStride, GLubyte* out, int outW, int outH, int components) {
  const std::vector<Span> across = spansFor(inW, outW), down = spansFor(inH, outH);
  std::vector<float> rows(static_cast<size_t>(outW) * inH * components);
  for (int y = 0; y < inH; ++y) {
    const GLubyte* source = in + static_cast<size_t>(y) * inStride;
    float* target = &rows[static_cast<size_t>(y) * outW * components];
    for (int x = 0; x < outW; ++x) {
      const Span& span = across[static_cast<size_t>(x)];
      for (int c = 0; c < components; ++c) {
        float sum = 0.0f;
        for (int k = 0; k < span.count; ++k) sum += span.weights[k] * source[(span.first + k) * components + c];
        target[x * components + c] = sum;
      }
    }
  }
  const size_t rowLength = static_cast<size_t>(outW) * components;
  for (int y = 0; y < outH; ++y) {
    const Span& span = down[static_cast<size_t>(y)];
    GLubyte* target = out + y * rowLength;
    for (size_t i = 0; i < rowLength; ++i) {
      float sum = 0.0f;
      for (int k = 0; k < span.count; ++k) sum += span.weights[k] * rows[(span.first + k) * rowLength + i];
      target[i] = static_cast<GLubyte>(sum + 0.5f);
    }
  }
}

GLint gluBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const void* data) {
  if (type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0) return GLU_INVALID_ENUM;
  const int components = componentsOf(format);
  const int stride = (width * components + unpackAlignment - 1) / unpackAlignment * unpackAlignment;
  int w = nearestPower(width), h = nearestPower(height);
  std::vector<GLubyte> level(static_cast<size_t>(w) * h * components), next;
  scaleImage(static_cast<const GLubyte*>(data), width, height, stride, level.data(), w, h, components);
  const GLint alignment = unpackAlignment;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (GLint n = 0;; ++n) {
    glTexImage2D(target, n, internalFormat, w, h, 0, format, GL_UNSIGNED_BYTE, level.data());
    if (w == 1 && h == 1) break;
    const int nw = w > 1 ? w / 2 : 1, nh = h > 1 ? h / 2 : 1;
    next.resize(static_cast<size_t>(nw) * nh * components);
    scaleImage(level.data(), w, h, w * components, next.data(), nw, nh, components);
    level.swap(next);
    w = nw, h = nh;
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return 0;
}

// ---- quadrics: the cylinder as GLU lays it out, so the texture and the wire grid fall where they did

struct GLUquadric {
  GLenum normals = GLU_SMOOTH;
  bool textured = false;
  GLenum orientation = GLU_OUTSIDE;
  GLenum style = GLU_FILL;
};

GLUquadric* gluNewQuadric() { return new GLUquadric; }
void gluDeleteQuadric(GLUquadric* q) { delete q; }
void gluQuadricNormals(GLUquadric* q, GLenum normals) { q->normals = normals; }
void gluQuadricTexture(GLUquadric* q, GLboolean textured) { q->textured = textured; }
void gluQuadricOrientation(GLUquadric* q, GLenum orientation) { q->orientation = orientation; }
void gluQuadricDrawStyle(GLUquadric* q, GLenum style) { q->style = style; }

void gluCylinder(GLUquadric* q, GLdouble base, GLdouble top, GLdouble height, GLint slices, GLint stacks) {
  constexpr int maxSlices = 239;
  if (slices > maxSlices) slices = maxSlices;
  if (slices < 2 || stacks < 1 || base < 0.0 || top < 0.0 || height < 0.0) return;
  const float delta = static_cast<float>(base - top);
  const float length = static_cast<float>(std::sqrt(delta * delta + height * height));
  if (length == 0.0f) return;
  const float zNormal = delta / length, ratio = static_cast<float>(height) / length;
  const float side = q->orientation == GLU_OUTSIDE ? ratio : -ratio;
  float sines[maxSlices + 1], cosines[maxSlices + 1];
  for (int i = 0; i < slices; ++i) {
    const float angle = static_cast<float>(2.0 * M_PI * i / slices);
    sines[i] = static_cast<float>(std::sin(angle));
    cosines[i] = static_cast<float>(std::cos(angle));
  }
  sines[slices] = sines[0];
  cosines[slices] = cosines[0];
  const bool normals = q->normals != GLU_NONE;
  const auto radiusAt = [&](int j) { return static_cast<float>(base - delta * (static_cast<float>(j) / stacks)); };
  const auto zAt = [&](int j) { return static_cast<float>(j * height / stacks); };
  const auto point = [&](int i, int j) {
    if (q->textured) glTexCoord2f(1.0f - static_cast<float>(i) / slices, static_cast<float>(j) / stacks);
    glVertex3f(radiusAt(j) * sines[i], radiusAt(j) * cosines[i], zAt(j));
  };
  if (q->style == GLU_FILL) {
    for (int j = 0; j < stacks; ++j) {
      glBegin(GL_QUAD_STRIP);
      for (int i = 0; i <= slices; ++i) {
        if (normals) glNormal3f(side * sines[i], side * cosines[i], zNormal);
        // Inside, each pair starts at the far ring so the strip faces the other way.
        const int first = q->orientation == GLU_OUTSIDE ? j : j + 1;
        point(i, first);
        point(i, q->orientation == GLU_OUTSIDE ? j + 1 : j);
      }
      glEnd();
    }
    return;
  }
  if (q->style != GLU_LINE) return;  // the program draws filled and as lines only
  // Rings: the inner ones, then the two ends; then a line along each slice.
  const auto ring = [&](int j) {
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i <= slices; ++i) {
      if (normals) glNormal3f(side * sines[i], side * cosines[i], zNormal);
      point(i, j);
    }
    glEnd();
  };
  for (int j = 1; j < stacks; ++j) ring(j);
  ring(0);
  ring(stacks);
  for (int i = 0; i < slices; ++i) {
    if (normals) glNormal3f(side * sines[i], side * cosines[i], 0.0f);
    glBegin(GL_LINE_STRIP);
    for (int j = 0; j <= stacks; ++j) point(i, j);
    glEnd();
  }
}

// ---- reading the frame back: WebGL reads RGBA only

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels) {
  if (format != GL_RGB || type != GL_UNSIGNED_BYTE) {
    emscripten_glReadPixels(x, y, width, height, format, type, pixels);
    return;
  }
  std::vector<GLubyte> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  emscripten_glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());  // 4 bytes a pixel: rows need no padding
  const size_t alignment = static_cast<size_t>(packAlignment);
  const size_t stride = (static_cast<size_t>(width) * 3 + alignment - 1) / alignment * alignment;
  auto* out = static_cast<GLubyte*>(pixels);
  for (GLsizei row = 0; row < height; ++row)
    for (GLsizei col = 0; col < width; ++col)
      for (int c = 0; c < 3; ++c)
        out[row * stride + col * 3 + c] = rgba[(static_cast<size_t>(row) * width + col) * 4 + c];
}
