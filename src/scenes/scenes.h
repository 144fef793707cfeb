// The five scenes; each draws one complete frame for the current sync count.
#pragma once
#include <cstdint>

void TunnelScene();
void TitleScene();
void LineFeedbackScene();
void CubeColumnsScene();
void BlueFeedbackScene();


// Animation state that persists for the whole run, stepped once per frame drawn.
extern float tunnelEyeZ, tunnelLookTarget, tunnelSwayPhase, tunnelSwayAmplitude;
extern int32_t tunnelSwaysDone;
extern float tunnelInnerAngle, tunnelOuterAngle, tunnelFadeLevel;
extern float titleTexZoom, titleZoomPhase, titleInsetY, titleInsetX;
extern float lineAngleX, lineAngleY, lineAngleZ;
extern float cubeAngle;
extern float blueAngleX, blueAngleY, blueAngleZ;
