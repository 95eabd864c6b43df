// GLSL shaders: table indices, missing sources, logs, uniforms, and the
// path without GLSL.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"

namespace {

const char *kVertex =
    "#version 120\n"
    "void main() { gl_Position = ftransform(); }\n";
const char *kFragment =
    "#version 120\n"
    "uniform float level;\n"
    "uniform sampler2D picture;\n"
    "void main() { gl_FragColor = texture2D(picture, vec2(0.5)) * level; }\n";

std::string temp_file(const char *name, const char *content) {
    std::string path = std::string(QO_BINARY_DIR) + "/" + name;
    FILE *fp = fopen(path.c_str(), "w");
    if (fp) {
        fputs(content, fp);
        fclose(fp);
    }
    return path;
}

class ShaderGL : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (!CGL_shaders_enabled) GTEST_SKIP() << "no GLSL on this driver";
    }
    void TearDown() override { CGL_UnbindShader(); }
};

std::string captured(const std::function<void()> &fn) {
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST_F(ShaderGL, IndicesFollowAndAreNeverReused) {
    int a = -2, b = -2, c = -2;
    captured([&] {
        a = CGL_InitShader(kVertex, kFragment);
        b = CGL_InitShader(kVertex, kFragment);
    });
    ASSERT_GE(a, 0);
    EXPECT_EQ(b, a + 1);
    GLuint program = CGL_shader[a].program;
    EXPECT_TRUE(glIsProgram(program));
    CGL_DeleteShader(a);
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_FALSE(glIsShader(CGL_shader[a].vertexshader));
    captured([&] { c = CGL_InitShader(kVertex, kFragment); });
    EXPECT_EQ(c, a + 2);
    EXPECT_EQ(CGL_numshaders, c + 1);
}

TEST_F(ShaderGL, MissingOrEmptySourceFilesGiveMinusOne) {
    std::string vertex = temp_file("shader_test.vert", kVertex);
    std::string fragment = temp_file("shader_test.frag", kFragment);
    std::string empty = temp_file("shader_empty.frag", "");

    int next = CGL_numshaders;
    int result = 0;
    std::string out = captured([&] {
        result = CGL_LoadShader((std::string(QO_BINARY_DIR) + "/no_such.vert").c_str(),
                                fragment.c_str());
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out, "Either vertex shader or fragment shader file not found.");
    out = captured([&] { result = CGL_LoadShader(vertex.c_str(), empty.c_str()); });
    EXPECT_EQ(result, -1) << "a file of zero bytes counts as missing";
    EXPECT_EQ(CGL_numshaders, next);

    out = captured([&] { result = CGL_LoadShader(vertex.c_str(), fragment.c_str()); });
    EXPECT_EQ(result, next) << "the failed builds took no index";
    EXPECT_EQ(out.find("error"), std::string::npos) << out;

    char *text = textFileRead(vertex.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, kVertex);
    free(text);
    EXPECT_EQ(textFileRead(nullptr), nullptr);
    EXPECT_EQ(textFileRead(empty.c_str()), nullptr);
}

TEST_F(ShaderGL, CompileErrorsArePrintedAndTheEntryStillCounts) {
    int result = -2;
    std::string out =
        captured([&] { result = CGL_InitShader("#version 120\nvoid main( {", kFragment); });
    EXPECT_EQ(result, CGL_numshaders - 1);
    std::string prefix = "Shader " + std::to_string(CGL_shader[result].vertexshader) +
                         ",vertexshader,compiler error: ";
    EXPECT_EQ(out.rfind(prefix, 0), 0u) << out;
    EXPECT_NE(out.find("Program " + std::to_string(CGL_shader[result].program) + ",link error: "),
              std::string::npos)
        << out;
}

TEST_F(ShaderGL, ValuesAreSetByNameAndTheProgramStaysBound) {
    int id = -1;
    captured([&] { id = CGL_InitShader(kVertex, kFragment); });
    ASSERT_GE(id, 0);
    GLuint program = CGL_shader[id].program;
    CGL_SetShaderValue(id, "level", 0.25f);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ((GLuint)current, program);
    GLfloat level = 0;
    glGetUniformfv(program, glGetUniformLocation(program, "level"), &level);
    EXPECT_EQ(level, 0.25f);

    // A sampler takes the value as its texture unit; an unknown name does
    // nothing; neither leaves an OpenGL error behind.
    while (glGetError() != GL_NO_ERROR) {
    }
    CGL_SetShaderValue(id, "picture", 1.0f);
    CGL_SetShaderValue(id, "nosuchname", 3.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    GLint unit = -1;
    glGetUniformiv(program, glGetUniformLocation(program, "picture"), &unit);
    EXPECT_EQ(unit, 1);

    CGL_UnbindShader();
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
    CGL_BindShader(id);
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ((GLuint)current, program);
}

TEST_F(ShaderGL, WithoutGlslNothingReachesOpenGL) {
    int id = -1;
    captured([&] { id = CGL_InitShader(kVertex, kFragment); });
    ASSERT_GE(id, 0);
    CGL_BindShader(id);
    int count = CGL_numshaders;

    CGL_shaders_enabled = 0;
    int result = -2;
    std::string out = captured([&] { result = CGL_InitShader(kVertex, kFragment); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "-InitShader: No shader support\n");
    EXPECT_EQ(CGL_numshaders, count);
    CGL_UnbindShader();
    CGL_BindShader(0);
    CGL_SetShaderValue(id, "level", 9.0f);
    CGL_DeleteShader(id);
    CGL_SetPostShader(id + 5);
    CGL_shaders_enabled = 1;

    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ((GLuint)current, CGL_shader[id].program) << "still bound";
    EXPECT_TRUE(glIsProgram(CGL_shader[id].program)) << "not deleted";
    GLfloat level = 0;
    glGetUniformfv(CGL_shader[id].program, glGetUniformLocation(CGL_shader[id].program, "level"),
                   &level);
    EXPECT_EQ(level, 0.0f);
    EXPECT_NE(CGL_postshader_id, id + 5) << "the post shader index is kept";
}

TEST_F(ShaderGL, The65thShaderIsRefused) {
    int count = CGL_numshaders;
    CGL_numshaders = CGL_MAXSHADERS;
    int result = 0;
    std::string out = captured([&] { result = CGL_InitShader(kVertex, kFragment); });
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("Shader table full"), std::string::npos);
    EXPECT_EQ(CGL_numshaders, CGL_MAXSHADERS);
    CGL_numshaders = count;
    CGL_BindShader(CGL_MAXSHADERS);  // out of the table: ignored
    CGL_BindShader(-1);
}
