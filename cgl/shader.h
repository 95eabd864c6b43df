// GLSL shaders: a table of programs built from a vertex and a fragment
// source, selected by index, with single float uniforms set by name.
//
// Depends on: video (CGL_shaders_enabled). Without GLSL, building prints
// one message and returns 0, and every other operation does nothing.
#pragma once

enum { CGL_MAXSHADERS = 64 };

struct s_shader {
    unsigned program;
    unsigned vertexshader;
    unsigned fragmentshader;
};

extern s_shader CGL_shader[CGL_MAXSHADERS];
extern int CGL_numshaders;

// Returns the new entry's index (also when compiling or linking failed),
// -1 when a source is missing or the table is full, 0 when shaders are off.
int CGL_InitShader(const char *vertexsource, const char *fragmentsource);
int CGL_LoadShader(const char *vertexfile, const char *fragmentfile);
void CGL_DeleteShader(int id);
void CGL_BindShader(int id);
void CGL_UnbindShader();
void CGL_SetShaderValue(int id, const char *name, float value);

// Internal pieces, open for tests.
char *textFileRead(const char *path);
void validateShader(unsigned shader, const char *name);
void validateProgram(unsigned program);
