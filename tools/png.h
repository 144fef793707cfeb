// Writes RGB pictures as PNG files, for frames captured from the scenes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writes an RGB picture (rows from the top down) as a PNG; false when the file cannot be written.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
