// Whole files in a browser, fetched beside the page with a synchronous request: the program's files stay
// plain files on the web server, replaceable one by one, and are read when the program asks for them.
#include "platform/file_map.h"

#include <emscripten.h>

#include <cstdlib>

// A copy of the file in the program's memory and its size, or null when the server has no such file.
EM_JS(uint8_t*, fetchWholeFile, (const char* path, size_t* size), {
  var request = new XMLHttpRequest();
  request.open('GET', UTF8ToString(path), false);
  // Bytes arrive as the low halves of characters: a synchronous request on the page's thread cannot ask
  // for an array buffer.
  request.overrideMimeType('text/plain; charset=x-user-defined');
  try {
    request.send(null);
  } catch (e) {
    return 0;
  }
  if (request.status != 200) return 0;
  var text = request.responseText;
  var length = text.length;
  if (length == 0) return 0;
  var copy = _malloc(length);
  if (!copy) return 0;
  for (var i = 0; i < length; ++i) HEAPU8[copy + i] = text.charCodeAt(i) & 255;
  HEAPU32[size >> 2] = length;
  return copy;
});

bool mapFile(const char* path, MappedFile* file) {
  *file = MappedFile{};
  if (!path) return false;
  size_t size = 0;
  uint8_t* data = fetchWholeFile(path, &size);
  if (!data) return false;
  file->data = data;
  file->size = size;
  return true;
}

void unmapFile(MappedFile* file) {
  std::free(const_cast<uint8_t*>(file->data));
  *file = MappedFile{};
}
