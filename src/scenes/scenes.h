// The five scenes; each draws one complete frame for the current sync count.
#pragma once
#include <cstdint>

void TunnelScene();
void TitleScene();
void LineFeedbackScene();
void CubeColumnsScene();
void BlueFeedbackScene();

// What each scene's frame does to its animation state, with no GL call: the scene procedures call the same
// steps, so a run stepped without drawing keeps the state a drawn one would. TitleStep is true once the
// title has collapsed to a line, from when it is drawn untextured.
void TunnelStep();
bool TitleStep();
void LineFeedbackStep();
void CubeColumnsStep();
void BlueFeedbackStep();
// Each scene's animation state back to its value at program start.
void TunnelReset();
void TitleReset();
void LineFeedbackReset();
void CubeColumnsReset();
void BlueFeedbackReset();

// Animation state that persists for the whole run, stepped once per frame drawn.
extern float tunnelEyeZ, tunnelLookTarget, tunnelSwayPhase, tunnelSwayAmplitude;
extern int32_t tunnelSwaysDone;
extern float tunnelInnerAngle, tunnelOuterAngle, tunnelFadeLevel;
extern float titleTexZoom, titleZoomPhase, titleInsetY, titleInsetX;
extern float lineAngleX, lineAngleY, lineAngleZ;
extern float cubeAngle;
extern float blueAngleX, blueAngleY, blueAngleZ;
