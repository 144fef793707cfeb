// The five scenes; each draws one complete frame for the current sync count.
#pragma once

void TunnelScene();
void TitleScene();
void LineFeedbackScene();
void CubeColumnsScene();
void BlueFeedbackScene();
