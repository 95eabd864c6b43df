// GLSL shaders: building, selecting, uniforms.
//
// Offers: CGL_InitShader, CGL_LoadShader, CGL_DeleteShader, CGL_BindShader,
// CGL_UnbindShader, CGL_SetShaderValue.
// Depends on: video (CGL_shaders_enabled), GLEW's GLSL entry points.
//
// A build that fails to compile or link still takes its entry and returns
// its index: the logs are printed and the caller carries on.
#include "cgl/shader.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgl/video.h"
#include "corefile/corefile.h"

s_shader CGL_shader[CGL_MAXSHADERS];
int CGL_numshaders = 0;

// Source files larger than this are refused; no shader comes near it.
static const long kMaxShaderFile = 16L * 1024 * 1024;

static bool valid_entry(int id) {
    return id >= 0 && id < CGL_MAXSHADERS;
}

// ---------------------------------------------------------------------------
// Logs

void validateShader(unsigned shader, const char *name) {
    char log[512];
    memset(log, 0, sizeof(log));
    GLsizei length = 0;
    glGetShaderInfoLog(shader, (GLsizei)sizeof(log), &length, log);
    log[sizeof(log) - 1] = 0;
    if (length > 0) printf("Shader %d,%s,compiler error: %s\n", (int)shader, name ? name : "", log);
}

void validateProgram(unsigned program) {
    char log[512];
    memset(log, 0, sizeof(log));
    GLsizei length = 0;
    glGetProgramInfoLog(program, (GLsizei)sizeof(log), &length, log);
    log[sizeof(log) - 1] = 0;
    if (length > 0) printf("Program %d,link error: %s\n", (int)program, log);

    glValidateProgram(program);
    GLint status = 0;
    glGetProgramiv(program, GL_VALIDATE_STATUS, &status);
    if (status == 0) printf("Error validating shader %d\n", (int)program);
}

// ---------------------------------------------------------------------------
// Building

// The source after a leading "#version" line (blank lines before it
// allowed); the source itself when it has none.
static const char *skip_version_line(const char *source) {
    const char *p = source;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
    if (strncmp(p, "#version", 8) != 0) return source;
    const char *end = strchr(p, '\n');
    return end ? end + 1 : p + strlen(p);
}

int CGL_InitShader(const char *vertexsource, const char *fragmentsource) {
    int i = CGL_numshaders;
    if (!CGL_shaders_enabled) {
        printf("-InitShader: No shader support\n");
        return 0;
    }
    if (!valid_entry(i)) {
        printf("- ERROR: Shader table full (%d shaders).\n", CGL_MAXSHADERS);
        return -1;
    }
    s_shader &entry = CGL_shader[i];
    entry.vertexshader = glCreateShader(GL_VERTEX_SHADER);
    entry.fragmentshader = glCreateShader(GL_FRAGMENT_SHADER);

    if (!vertexsource || !fragmentsource) {
        printf("Either vertex shader or fragment shader file not found.");
        // The entry is not taken, so its objects go back at once.
        glDeleteShader(entry.vertexshader);
        glDeleteShader(entry.fragmentshader);
        entry.vertexshader = entry.fragmentshader = 0;
        return -1;
    }

    // OpenGL ES shading (WebGL) knows no "#version 120": the source is
    // given from the line after it.
    const char *glsl = (const char *)glGetString(GL_SHADING_LANGUAGE_VERSION);
    if (glsl && strstr(glsl, "GLSL ES")) {
        vertexsource = skip_version_line(vertexsource);
        fragmentsource = skip_version_line(fragmentsource);
    }
    glShaderSource(entry.vertexshader, 1, &vertexsource, nullptr);
    glShaderSource(entry.fragmentshader, 1, &fragmentsource, nullptr);

    glCompileShader(entry.vertexshader);
    validateShader(entry.vertexshader, "vertexshader");
    glCompileShader(entry.fragmentshader);
    validateShader(entry.fragmentshader, "fragmentshader");

    entry.program = glCreateProgram();
    glAttachShader(entry.program, entry.fragmentshader);
    glAttachShader(entry.program, entry.vertexshader);
    glLinkProgram(entry.program);
    validateProgram(entry.program);

    CGL_numshaders = i + 1;
    return i;
}

char *textFileRead(const char *path) {
    if (!path) return nullptr;
    FILE *fp = corefile_fopen(path, "r");
    if (!fp) return nullptr;
    char *text = nullptr;
    if (fseek(fp, 0, SEEK_END) == 0) {
        long size = ftell(fp);
        rewind(fp);
        if (size > kMaxShaderFile) {
            printf("- ERROR: Shader file %s is too large.\n", path);
        } else if (size > 0) {
            text = static_cast<char *>(malloc((size_t)size + 1));
            if (text) {
                size_t got = fread(text, 1, (size_t)size, fp);
                text[got] = 0;
            }
        }
    }
    fclose(fp);
    return text;
}

int CGL_LoadShader(const char *vertexfile, const char *fragmentfile) {
    char *vertexsource = textFileRead(vertexfile);
    char *fragmentsource = textFileRead(fragmentfile);
    int result = CGL_InitShader(vertexsource, fragmentsource);
    // The driver keeps its own copy once the source is handed over.
    free(vertexsource);
    free(fragmentsource);
    return result;
}

void CGL_DeleteShader(int id) {
    if (!CGL_shaders_enabled || !valid_entry(id)) return;
    const s_shader &entry = CGL_shader[id];
    glDetachShader(entry.program, entry.fragmentshader);
    glDetachShader(entry.program, entry.vertexshader);
    glDeleteShader(entry.fragmentshader);
    glDeleteShader(entry.vertexshader);
    glDeleteProgram(entry.program);
}

// ---------------------------------------------------------------------------
// Use

void CGL_BindShader(int id) {
    if (!CGL_shaders_enabled || !valid_entry(id)) return;
    glUseProgram(CGL_shader[id].program);
}

void CGL_UnbindShader() {
    if (!CGL_shaders_enabled) return;
    glUseProgram(0);
}

// Samplers take integers: a float setter would be refused by OpenGL, so a
// sampler is given the value as a texture unit instead.
static bool is_sampler(unsigned program, const char *name) {
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; i++) {
        char active[128];
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program, (GLuint)i, (GLsizei)sizeof(active), &length, &size, &type,
                           active);
        if (strcmp(active, name) != 0) continue;
        switch (type) {
            case GL_SAMPLER_1D:
            case GL_SAMPLER_2D:
            case GL_SAMPLER_3D:
            case GL_SAMPLER_CUBE:
            case GL_SAMPLER_1D_SHADOW:
            case GL_SAMPLER_2D_SHADOW:
                return true;
            default:
                return false;
        }
    }
    return false;
}

void CGL_SetShaderValue(int id, const char *name, float value) {
    if (!CGL_shaders_enabled || !valid_entry(id) || !name) return;
    unsigned program = CGL_shader[id].program;
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location < 0) return;
    if (is_sampler(program, name)) {
        glUniform1i(location, (GLint)value);
    } else {
        glUniform1f(location, value);
    }
}
