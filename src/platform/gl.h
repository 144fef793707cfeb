// The one place the program includes OpenGL 1.1 and GLU.
#pragma once
#include <GL/gl.h>
#include <GL/glu.h>
