// Flat full-window quads over the 3D drawing: the feedback layer, the black fade, still images.
#pragma once

// Enters a pixel projection over the canvas rectangle (y grows downwards); the model-view matrix becomes identity.
void beginOverlay2D(int left, int top, int right, int bottom);
// Leaves it: the projection comes back, the model-view matrix is selected (and left as it is).
void endOverlay2D();
// The render texture of slot stretched over the window at 99 %: leaves blending off, depth test on.
void drawFeedbackLayer(int slot);
// Black over the window at opacity alpha: leaves blending on, depth test on.
void drawFade(float alpha);
// The picture of slot over the window at opacity alpha, blended only if the caller has blending on.
void drawImageOverlay(int slot, float alpha);
