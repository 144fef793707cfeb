// The GL context's base render state, the lights and the perspective projection.
#pragma once

extern const float light0Ambient[4];
extern const float light0Diffuse[4];
extern const float light0Position[4];
extern const float light1Ambient[4];
extern const float light1Diffuse[4];
extern const float light1Position[4];

// True once a context is current and the base state is set; no GL call is made before.
extern bool glReady;

// Makes the GL context and sets the base render state and projection; on failure posts a quit with code 1.
bool initGL(int width, int height);
// Viewport and 45-degree perspective for a drawing area of width x height (a height of 0 counts as 1).
void resizeViewport(int width, int height);
