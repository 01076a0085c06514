#include "render/gl/shader_program.h"

#include <algorithm>
#include <regex>

#include "base/platform_services.h"
#include "base/text_conversion.h"
#include "render/gl/gl_api.h"
#include "render/gl/shader_variants.h"
#include "render/shader_interface.h"

namespace tolvani::gl {
namespace {

void Diagnose(const std::string& text) {
  Platform().Diagnostic("render", FromUtf8(text));
}

}  // namespace

std::string StageSource(const std::string& source, const char* entry, const StageOptions& options) {
  std::string text = std::string(kShaderPreamble) + "#define " + entry + "\n";
  if (options.vertexStage && options.depthRemap) text += "#define TOLVANI_DEPTH_REMAP\n";
  if (!options.vertexStage) text += VariantDefines(options.variantMask);
  text += "#line 1\n";
  text += source;
  return text;
}

GLuint CompileStage(bool vertexStage, const std::string& text, std::string* log) {
  GLuint shader = glCreateShader(vertexStage ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
  const char* chars = text.c_str();
  const GLint length = static_cast<GLint>(text.size());
  glShaderSource(shader, 1, &chars, &length);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    GLint logLength = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
    if (log && logLength > 0) {
      log->resize(static_cast<size_t>(logLength));
      glGetShaderInfoLog(shader, logLength, nullptr, log->data());
    }
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint LinkProgram(GLuint vs, GLuint ps) {
  const GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, ps);
  for (int i = 0; i < kInputSemanticCount; ++i) {
    glBindAttribLocation(program, static_cast<GLuint>(i), kInputSemantics[i]);
  }
  glLinkProgram(program);
  glDetachShader(program, vs);
  glDetachShader(program, ps);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    GLint logLength = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &logLength);
    std::string log(static_cast<size_t>(std::max(logLength, 1)), '\0');
    glGetProgramInfoLog(program, logLength, nullptr, log.data());
    Diagnose("shader program does not link: " + log);
    glDeleteProgram(program);
    return 0;
  }
  const GLuint block = glGetUniformBlockIndex(program, "ShaderConstants");
  if (block != GL_INVALID_INDEX) {
    glUniformBlockBinding(program, block, 0);
    GLint size = 0;
    glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    if (size != kShaderConstantsBlockBytes) {
      Diagnose("ShaderConstants block is " + std::to_string(size) + " bytes");
    }
  }
  // Every sampler of the program reads texture unit 0.
  GLint previous = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
  glUseProgram(program);
  GLint uniforms = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
  for (GLint i = 0; i < uniforms; ++i) {
    char name[256];
    GLint arraySize = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(i), sizeof name, nullptr, &arraySize, &type,
                       name);
    if (type == GL_SAMPLER_2D) glUniform1i(glGetUniformLocation(program, name), 0);
  }
  glUseProgram(static_cast<GLuint>(previous));
  return program;
}

bool HasLooseUniforms(unsigned program) {
  GLint uniforms = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
  for (GLint i = 0; i < uniforms; ++i) {
    const GLuint index = static_cast<GLuint>(i);
    GLint block = -1;
    glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_BLOCK_INDEX, &block);
    if (block < 0) return true;
  }
  return false;
}

int DeclaredInputComponents(const std::string& source, const char* name) {
  const std::regex re(std::string(R"((^|[;\s)])in\s+(float|vec2|vec3|vec4)\s+)") + name +
                      R"(\s*;)");
  std::smatch m;
  if (!std::regex_search(source, m, re)) return 0;
  const std::string type = m[2].str();
  if (type == "float") return 1;
  return type[3] - '0';
}

}  // namespace tolvani::gl
