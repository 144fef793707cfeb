// The fifteen pictures the demo loads: where each goes, how it is encoded, and how it is drawn.
#pragma once
#include <string>
#include <vector>

#include "bmp.h"

namespace images {

struct Asset {
  std::string path;        // relative to the output folder, e.g. "Data/greets/talvo.bmp"
  bmp::Encoding encoding;
  bmp::Picture picture;    // as drawn, before any palette reduction
};

// Draws all fifteen, in the demo's loading order. Throws if no usable font is found.
std::vector<Asset> makeAll();

}  // namespace images
