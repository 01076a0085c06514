// Web links of step starts. A shown object's text that begins with "http"
// names a link: its first line. Files are shared between strangers, so a
// link only ever opens a web page, and a story cannot flood the desktop with
// browser launches.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvani {

// Whether target is an absolute URL whose scheme is http or https (any
// letter case) and which has a non-empty host: "http://" or "https://",
// an authority with an optional user part and an optional numeric port,
// then an optional path, query and fragment. Hosts may be non-ASCII. No
// control character anywhere, no backslash, space or other forbidden
// character in the authority. Never a local file or a relative path.
bool IsWebLink(std::u16string_view target);

// The link target of an entry text: empty unless the text begins with
// "http" (case-sensitive); otherwise the text before its first line feed,
// without a carriage return that ends it.
std::u16string_view LinkTarget(std::u16string_view text);

// Opens the links of step starts through Platform().OpenDocument, within
// limits:
//  - only targets that pass IsWebLink;
//  - at most kPerStepStart links per step start: the first ones requested
//    (timeline order), each distinct target once;
//  - at most kLaunchesPerWindow launches in any kWindowMs of the clock.
// Everything refused or dropped is reported as a diagnostic.
class LinkOpener {
 public:
  static constexpr int kPerStepStart = 4;
  static constexpr int kLaunchesPerWindow = 8;
  static constexpr int64_t kWindowMs = 10000;
  // A monotonic clock in milliseconds.
  using Clock = std::function<int64_t()>;

  LinkOpener();
  // Replaces the clock (tests); an empty function restores the steady clock.
  void SetClock(Clock clock);

  // Starts the bookkeeping of one step start.
  void BeginStepStart();
  // A shown entry's text at the current step start.
  void Request(std::u16string_view text);

 private:
  Clock clock_;
  std::array<std::u16string, kPerStepStart> opened_;  // this step start's targets
  int openedCount_ = 0;
  std::array<int64_t, kLaunchesPerWindow> launches_{};  // ring of launch times
  int launchCount_ = 0;                                 // launches so far, up to the ring size
  int nextLaunch_ = 0;
};

}  // namespace tolvani
