// The rules of a story that every layer shares: the play modes, the states
// of a timeline entry, the classes of objects named by their timeline's
// name, the fade and balloon materials, the link prefix, and the tick.
// Playback, drawing, the document and the tools read them from here only.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvani {

// How the camera travels between steps: the scene root's stored playMode.
// A file may hold any int32; a value that names no enumerator is kept as
// read and disables all mode work (no camera work, no clicks, no wheel
// steps, no step starts; an advance request stays set).
enum class PlayMode : int32_t {
  kGlide = 1,    // spline through the step poses; a click once the glide ends
  kWalk = 2,     // first-person walk over the walkable ground
  kScroll = 3,   // the wheel scrubs between two steps' poses
  kExplore = 4,  // as Walk; a balloon answers once its object has spoken
  kOrbit = 5,    // the camera circles the centre of the step's balloons
};

// The state of one timeline entry: whether its object takes part in the
// step. Any stored int32 is kept; every value but kShown hides the object.
// kHidden is the state of a new entry and of an index outside the entries.
enum class EntryState : int32_t {
  kHidden = 1,
  kShown = 2,
};

// The stored (file and report) value of a mode or a state.
constexpr int32_t StoredValue(PlayMode mode) {
  return static_cast<int32_t>(mode);
}
constexpr int32_t StoredValue(EntryState state) {
  return static_cast<int32_t>(state);
}

// The view's timer period in milliseconds.
constexpr int kTickPeriodMs = 30;

// Glide and fade durations are counted in frames at 30 frames per second
// although a tick lasts 30 ms: a 1500 ms glide takes 45 ticks. Stored
// projects are timed this way, so it stays.
constexpr int kDurationFramesPerSecond = 30;
// durationMs as that count of frames, in float32 (0 ms gives 0 frames, and
// one step of 1 / 0 completes at once).
constexpr float DurationFrames(int32_t durationMs) {
  return static_cast<float>(durationMs) * static_cast<float>(kDurationFramesPerSecond) / 1000.0f;
}

// Classes of objects by their timeline's name. Substring tests: the balloon
// mark ignores the letter case of A-Z, the others are case-sensitive.
inline constexpr std::u16string_view kBalloonMark = u"fukidashi";
inline constexpr std::u16string_view kFadeInMark = u"FadeIn";
inline constexpr std::u16string_view kFadeOutMark = u"FadeOut";
inline constexpr std::u16string_view kEffectMark = u"Effect";
inline constexpr std::u16string_view kBackgroundMark = u"Background";

// A speech balloon: clicked to move the story on, carries the step's text.
bool IsBalloonName(std::u16string_view name);

constexpr bool NameHas(std::u16string_view name, std::u16string_view mark) {
  return name.find(mark) != std::u16string_view::npos;
}
// A fade overlay: shown at a step start, it sets the fade level (in Glide)
// and is drawn flat over the scene.
constexpr bool IsFadeInName(std::u16string_view name) {
  return NameHas(name, kFadeInMark);
}
constexpr bool IsFadeOutName(std::u16string_view name) {
  return NameHas(name, kFadeOutMark);
}
constexpr bool IsFadeName(std::u16string_view name) {
  return IsFadeInName(name) || IsFadeOutName(name);
}
// Drawn flat over the perspective pass: fades and effects.
constexpr bool IsOverlayName(std::u16string_view name) {
  return IsFadeName(name) || NameHas(name, kEffectMark);
}
// Drawn flat before the perspective pass.
constexpr bool IsBackgroundName(std::u16string_view name) {
  return NameHas(name, kBackgroundMark);
}
// Left out of the perspective pass: every object of a flat pass (a name
// may put an object in both flat passes).
constexpr bool IsFlatPassName(std::u16string_view name) {
  return IsOverlayName(name) || IsBackgroundName(name);
}

// Materials with a rule of their own, compared whole and case-sensitive:
// the fade materials take their alpha from the fade level, which each of
// their drawn groups moves on; the balloon material shows the card texture.
inline constexpr std::u16string_view kFadeInMaterial = u"ZavroFadeInMaterial";
inline constexpr std::u16string_view kFadeOutMaterial = u"ZavroFadeOutMaterial";
inline constexpr std::u16string_view kBalloonMaterial = u"ZavroFukidashiMaterial";

// An entry text that begins with this (case-sensitive) is a link.
inline constexpr std::u16string_view kLinkPrefix = u"http";

}  // namespace tolvani
