// Glyph display lists on Linux: fontconfig picks the face, FreeType draws its glyphs as monochrome bitmaps.
#include "platform/glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <strings.h>

#include <cstdio>
#include <vector>

#include "platform/code_page.h"
#include "platform/failure.h"
#include "platform/gl.h"

namespace {

// Free faces tried, in order, after a named face that is not installed: the closest in weight and
// build. "Arial" needs none, fontconfig already maps it to its metric clone.
constexpr const char* standIns[][2] = {
    {"Arial Black", "Inter Black"},
    {"Arial Black", "DejaVu Sans"},
};

unsigned long unicodeOf(int code) { return cp1252ToUnicode(static_cast<uint8_t>(code)); }

// The file and face index of the best installed match for the face, bold and upright, scalable.
bool findFace(const char* face, char* file, size_t fileSize, int* index) {
  if (!FcInit()) return false;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
  for (const auto& standIn : standIns)
    if (strcasecmp(standIn[0], face) == 0)
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(standIn[1]));
  FcPatternAddInteger(pattern, FC_WEIGHT, static_cast<int>(FcWeightFromOpenType(700)));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;

  FcChar8* path = nullptr;
  bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
  if (found) found = std::snprintf(file, fileSize, "%s", reinterpret_cast<const char*>(path)) < static_cast<int>(fileSize);
  if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
  FcPatternDestroy(match);
  return found;
}

// Scales the face so that a positive height is its cell, ascent plus descent, as Windows sizes a
// font: for TrueType and OpenType faces the cell is the OS/2 table's winAscent + winDescent.
void setCellHeight(FT_Face face, int height) {
  long cell = face->ascender - face->descender;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0)
    cell = os2->usWinAscent + os2->usWinDescent;
  if (cell <= 0) cell = face->units_per_EM;
  FT_Size_RequestRec request = {};
  request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
  request.height = (static_cast<long>(height) * 64 * face->units_per_EM + cell / 2) / cell;
  FT_Request_Size(face, &request);
}

// Copies FreeType's top-down rows into the bottom-up, 4-byte aligned rows glBitmap reads.
void flipRows(const FT_Bitmap& bitmap, std::vector<unsigned char>& bits) {
  const int rows = static_cast<int>(bitmap.rows);
  const int rowBytes = (static_cast<int>(bitmap.width) + 7) / 8;
  const int stride = (static_cast<int>(bitmap.width) + 31) / 32 * 4;
  bits.assign(static_cast<size_t>(stride) * rows, 0);
  const int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
  for (int row = 0; row < rows; ++row) {
    // A negative pitch means the rows are stored bottom-up already.
    const int from = bitmap.pitch < 0 ? rows - 1 - row : row;
    const unsigned char* source = bitmap.buffer + static_cast<size_t>(from) * pitch;
    unsigned char* target = &bits[static_cast<size_t>(rows - 1 - row) * stride];
    for (int i = 0; i < rowBytes; ++i) target[i] = source[i];
  }
}

void compileGlyphs(FT_Face face, unsigned base) {
  // The lists keep their bitmaps as unpacked now, so the unpack state is pinned to what the rows
  // were laid out for, and given back afterwards.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  std::vector<unsigned char> bits;
  for (int code = 0; code < 255; ++code) {
    glNewList(base + code, GL_COMPILE);
    const FT_UInt glyph = FT_Get_Char_Index(face, unicodeOf(code));
    // The auto-hinter, not the face's own hints: those of the free faces are made for grey pixels
    // and thin bold stems to one pixel at small sizes, where monochrome needs whole, even stems.
    if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_FORCE_AUTOHINT) == 0 &&
        (face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_MONO || face->glyph->bitmap.rows == 0)) {
      const FT_GlyphSlot slot = face->glyph;
      flipRows(slot->bitmap, bits);
      const auto rows = static_cast<GLsizei>(slot->bitmap.rows);
      // The origin is given from the bitmap's lower left corner; hinted advances are whole pixels.
      glBitmap(static_cast<GLsizei>(slot->bitmap.width), rows, static_cast<float>(-slot->bitmap_left),
               static_cast<float>(rows - slot->bitmap_top), static_cast<float>((slot->advance.x + 32) >> 6), 0.0f,
               bits.empty() ? nullptr : bits.data());
    }
    glEndList();
  }
  glPopClientAttrib();
}

}  // namespace

void buildGlyphLists(const char* face, int height, unsigned base) {
  char file[4096];
  int index = 0;
  FT_Library library = nullptr;
  FT_Face fontFace = nullptr;
  if (findFace(face, file, sizeof file, &index) && FT_Init_FreeType(&library) == 0 &&
      FT_New_Face(library, file, index, &fontFace) == 0) {
    setCellHeight(fontFace, height);
    compileGlyphs(fontFace, base);
  } else {
    char line[256];
    std::snprintf(line, sizeof line, "no font found for \"%s\"; its text will not show", face);
    showFailure(FailureStyle::line, line);
  }
  if (fontFace != nullptr) FT_Done_Face(fontFace);
  if (library != nullptr) FT_Done_FreeType(library);
}
