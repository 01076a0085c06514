// Compiling and linking the OpenGL device's shader programs.
//
// One source file holds every entry point; each stage is compiled from it
// with a preamble naming the entry (`#define VS`, `#define PS`, ...) and the
// device's choices (the depth remap where clip control is missing, the
// lighting variant's defines). Programs bind the vertex inputs to fixed
// locations by semantic (render/shader_interface.h), the constant block
// "ShaderConstants" to binding 0 and every sampler to texture unit 0.
// Needs a current context for every call except StageSource.
#pragma once

#include <string>

namespace tolvani::gl {

// Size of the std140 block "ShaderConstants" the programs must declare.
constexpr int kShaderConstantsBlockBytes = 2560;

struct StageOptions {
  bool vertexStage = false;
  bool depthRemap = false;   // vertex stage: clip z 0..w remapped in the shader
  unsigned variantMask = 0;  // pixel stage: lighting variant (shader_variants.h)
};

// The text compiled for entry: the version line, the defines, then the
// source from its line 1.
std::string StageSource(const std::string& source, const char* entry, const StageOptions& options);

// A compiled shader object, or 0 with the compiler's log in *log.
unsigned CompileStage(bool vertexStage, const std::string& text, std::string* log);

// vs and ps linked, with the bindings above set up; 0 (the log diagnosed)
// when they do not link.
unsigned LinkProgram(unsigned vs, unsigned ps);

// Whether the program has a uniform outside its blocks (a sampler, or any
// other the device does not know): its output may then depend on more than
// its constant block.
bool HasLooseUniforms(unsigned program);

// Component count of the vertex input named name declared in source
// ("in vec3 NORMAL;"), or 0 when it is not declared.
int DeclaredInputComponents(const std::string& source, const char* name);

}  // namespace tolvani::gl
