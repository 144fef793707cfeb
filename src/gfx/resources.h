// Everything drawn with is made once at start-up: GL context, fonts, cube list and the texture table.
#pragma once
#include <cstdint>

// Width and height of the window's client area, read once at start-up.
extern int clientWidth;
extern int clientHeight;

// Makes the GL context and base state, then every font, list and texture, in a fixed order.
void initResources();
