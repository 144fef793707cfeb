// The textured cube, corners at +-1, compiled once into a display list.
#pragma once

extern unsigned cubeList;

// Compiles the cube's 24 vertices into cubeList; geometry only (no texture, colour or transform).
void buildCubeList();
