// The OpenGL the device is compiled against, and the few calls where its
// two dialects differ.
//
// Desktop builds call OpenGL 3.3 core through libepoxy. The WebAssembly
// build calls OpenGL ES 3.0 through emscripten's GLES3 headers, which
// emscripten maps onto WebGL2. The device is one: these seams are the only
// places that tell the dialects apart.
#pragma once

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <epoxy/gl.h>
#endif

#include <cstdint>

namespace tolvani::gl {

#ifdef __EMSCRIPTEN__
inline constexpr bool kGles = true;
// WebGL2 needs the precision of floats stated; highp in both stages, or the
// constant block's members differ in precision between the stages and the
// program does not link.
inline constexpr const char* kShaderPreamble = "#version 300 es\nprecision highp float;\n";
// WebGL2 fails a draw whose bound uniform range is shorter than the block
// it feeds: ranges are padded up to this many bytes.
inline constexpr uint32_t kMinUniformRangeBytes = 2560;
// WebGL2 takes no BGRA uploads: the device swizzles such data to RGBA.
inline constexpr bool kSwizzleBgraUploads = true;
// Each glGetError (and most queries) waits for the browser's GPU process to
// catch up with everything queued, shader compilations included: up to
// tens of milliseconds. Buffers and textures are not checked for want of
// memory there (the browser loses the context instead, which the device
// reports); state a copy needs is asked once per target.
inline constexpr bool kErrorChecksWait = true;
inline void ClearDepthValue(float depth) {
  glClearDepthf(depth);
}
inline void SetDepthRange(float nearDepth, float farDepth) {
  glDepthRangef(nearDepth, farDepth);
}
// WebGL2 has clip control only as an extension emscripten does not expose;
// the vertex shader's depth remap stands in for it.
inline void ClipZeroToOne() {}
#else
inline constexpr bool kGles = false;
inline constexpr const char* kShaderPreamble = "#version 330 core\n";
inline constexpr uint32_t kMinUniformRangeBytes = 0;
inline constexpr bool kSwizzleBgraUploads = false;
inline constexpr bool kErrorChecksWait = false;
inline void ClearDepthValue(float depth) {
  glClearDepth(depth);
}
inline void SetDepthRange(float nearDepth, float farDepth) {
  glDepthRange(nearDepth, farDepth);
}
inline void ClipZeroToOne() {
  glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
}
#endif

}  // namespace tolvani::gl
