// GLSL shaders.
#pragma once

int CGL_InitShader(const char *vertex, const char *fragment);
