// The preview's files: the pictures decoded all at once or not at all, and whether anything it reads changed.
#pragma once
#include <string>
#include <vector>

#include "gfx/dib.h"

// Every picture of the texture table, in its order; false, with the file and the reason, when one cannot be
// loaded (nothing is kept then).
bool decodePictures(std::vector<DibImage>* images, std::string* problem);
void freePictures(std::vector<DibImage>* images);
// True when demo.mp3 or a file under Data/ has been added, removed or changed (its time or size) since the last
// call; the first call only takes note.
bool watchFilesChanged();
