// Code page 1252: the single-byte text of captions, marker names and glyph lists.
#pragma once
#include <cstdint>

// The Unicode character of a code page 1252 byte; the five bytes the code page leaves undefined keep their value.
uint32_t cp1252ToUnicode(uint8_t byte);
