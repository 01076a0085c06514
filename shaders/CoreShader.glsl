// CoreShader: the player's one shader source. The program compiles it three
// times, with VS, PS or PS_TEX defined (and "#version 330 core" in front).
//
// ShaderConstants is written by the renderer before every draw: world and
// worldViewProjection are stored transposed, so GLSL reads the matrices of
// the row-vector convention and transforms with p * M; bone matrices are
// stored as they are, so GLSL reads their transpose and uses B * p.
// Editing this file changes how the scene looks; the entry names, the
// attribute names and the block layout must stay.
//
// TOLVANI_NO_SPECULAR / TOLVANI_NO_DIFFUSE: the OpenGL device also compiles
// the pixel entries with these defined and uses them for draws whose
// materialSpecular.rgb / materialDiffuse.x are zero, so they must leave out
// exactly the term that is zero and nothing else (same colours, less work).
//
// TOLVANI_VIEW_ONLY_LIGHTS: viewDirection is read only by the diffuse and
// specular terms, so a draw with both left out does not depend on it; the
// device then reuses the kept background across view changes. A source
// that reads the view direction elsewhere must not name it.
//
// TOLVANI_ALPHA_IS_MATERIAL_ALPHA: fragColor.a is materialColor.a, times the
// sampled texel's alpha in PS_TEX. The device relies on it to draw without
// blending where that alpha is exactly 1, and without colour writes where
// it is exactly 0; a source that makes its alpha otherwise must not name it.

layout(std140) uniform ShaderConstants {
  mat4 world;
  mat4 worldViewProjection;
  mat4 bones[36];
  vec4 viewDirection;
  vec4 viewDirection2;
  vec4 materialColor;
  vec4 materialAmbient;   // ambient * 0.25 in rgb, 1 in a
  vec4 materialSpecular;  // specular in rgb, colour alpha in a
  vec4 materialDiffuse;   // diffuse in x
  vec4 materialEmissive;  // emissive in x
  vec4 materialPower;     // specular power in x
};

#ifdef VS
in vec3 POSITION;
in vec3 NORMAL;
in vec2 TEXCOORD;
in float BONE;
in float PARENT;
in float WEIGHT;

out vec3 worldNormal;
out vec2 texCoord;

// Bone slot as a matrix; slots outside 0..35 (-1: none) leave the vertex as it is.
mat4 BoneMatrix(float slot) {
  int i = int(floor(slot + 0.5));
  if (i < 0 || i >= 36) return mat4(1.0);
  return bones[i];
}

void main() {
  mat4 bone = BoneMatrix(BONE);
  mat4 parent = BoneMatrix(PARENT);
  vec4 p = vec4(POSITION, 1.0);
  vec4 n = vec4(NORMAL, 0.0);
  // Blend between the vertex's bone and its parent bone by the weight.
  vec4 skinned = (bone * p) * WEIGHT + (parent * p) * (1.0 - WEIGHT);
  vec4 skinnedNormal = (bone * n) * WEIGHT + (parent * n) * (1.0 - WEIGHT);
  if (skinned.w != 0.0) skinned /= skinned.w;

  gl_Position = skinned * worldViewProjection;
#ifdef TOLVANI_DEPTH_REMAP
  // Clip z runs 0..w in the projection matrices; OpenGL wants -w..w.
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
#endif
  worldNormal = (skinnedNormal * world).xyz;
  texCoord = TEXCOORD;
}
#endif

#if defined(PS) || defined(PS_TEX)
in vec3 worldNormal;
in vec2 texCoord;
out vec4 fragColor;

#ifdef PS_TEX
uniform sampler2D diffuseTexture;
#endif

// A head light: the light comes from the viewer along the view direction.
// Both sides of a face are lit alike.
vec3 Lighting(vec3 albedo) {
#if !defined(TOLVANI_NO_DIFFUSE) || !defined(TOLVANI_NO_SPECULAR)
  vec3 n = worldNormal;
  float len = length(n);
  n = len > 0.0 ? n / len : vec3(0.0, 0.0, 1.0);
  vec3 toViewer = -normalize(viewDirection.xyz + vec3(0.0, 0.0, 1e-12));
  float nl = abs(dot(n, toViewer));
#endif
#ifdef TOLVANI_NO_DIFFUSE
  vec3 diffuse = albedo * materialAmbient.rgb;
#else
  vec3 diffuse = albedo * (materialAmbient.rgb + vec3(materialDiffuse.x * nl));
#endif
  vec3 emissive = albedo * materialEmissive.x;
#ifdef TOLVANI_NO_SPECULAR
  return clamp(diffuse + emissive, 0.0, 1.0);
#else
  // With the light at the eye the reflection meets the eye at 2 (n.l)^2 - 1.
  float rv = max(2.0 * nl * nl - 1.0, 0.0);
  vec3 specular = materialSpecular.rgb * pow(rv, max(materialPower.x, 1.0));
  return clamp(diffuse + emissive + specular, 0.0, 1.0);
#endif
}

void main() {
#ifdef PS_TEX
  vec4 texel = texture(diffuseTexture, texCoord);
  fragColor = vec4(Lighting(materialColor.rgb * texel.rgb), materialColor.a * texel.a);
#else
  fragColor = vec4(Lighting(materialColor.rgb), materialColor.a);
#endif
}
#endif
