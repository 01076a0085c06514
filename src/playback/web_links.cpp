#include "playback/web_links.h"

#include <chrono>

#include "base/platform_services.h"
#include "model/story_rules.h"

namespace tolvani {

namespace {

bool IsControl(char16_t c) {
  return c < 0x20 || c == 0x7F;
}

char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Characters that never appear in a host name.
bool ForbiddenInHost(char16_t c) {
  return IsControl(c) ||
         std::u16string_view(u" #%/:<>?@[\\]^|\"'`{}").find(c) != std::u16string_view::npos;
}

bool ValidPort(std::u16string_view port) {
  if (port.size() > 5) return false;
  uint32_t value = 0;
  for (char16_t c : port) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<uint32_t>(c - u'0');
  }
  return value <= 65535;
}

bool ValidHost(std::u16string_view hostPort) {
  std::u16string_view host = hostPort;
  std::u16string_view port;
  if (!hostPort.empty() && hostPort.front() == u'[') {
    // An IPv6 literal: hex digits, colons and dots inside the brackets.
    const size_t close = hostPort.find(u']');
    if (close == std::u16string_view::npos || close < 2) return false;
    for (char16_t c : hostPort.substr(1, close - 1)) {
      const char16_t l = LowerAscii(c);
      if (!((l >= u'0' && l <= u'9') || (l >= u'a' && l <= u'f') || l == u':' || l == u'.'))
        return false;
    }
    const std::u16string_view rest = hostPort.substr(close + 1);
    if (rest.empty()) return true;
    return rest.front() == u':' && ValidPort(rest.substr(1));
  }
  const size_t colon = hostPort.find(u':');
  if (colon != std::u16string_view::npos) {
    host = hostPort.substr(0, colon);
    port = hostPort.substr(colon + 1);
    if (!ValidPort(port)) return false;
  }
  if (host.empty()) return false;
  for (char16_t c : host) {
    if (ForbiddenInHost(c)) return false;
  }
  // A host of dots alone names nothing.
  return host.find_first_not_of(u'.') != std::u16string_view::npos;
}

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool IsWebLink(std::u16string_view target) {
  for (char16_t c : target) {
    if (IsControl(c)) return false;
  }
  const size_t colon = target.find(u':');
  if (colon == std::u16string_view::npos) return false;
  std::u16string scheme(target.substr(0, colon));
  for (char16_t& c : scheme) c = LowerAscii(c);
  if (scheme != u"http" && scheme != u"https") return false;
  const std::u16string_view rest = target.substr(colon + 1);
  if (rest.substr(0, 2) != u"//") return false;
  const std::u16string_view afterSlashes = rest.substr(2);
  const size_t end = afterSlashes.find_first_of(u"/?#");
  std::u16string_view authority = afterSlashes.substr(0, end);
  if (authority.find(u'\\') != std::u16string_view::npos) return false;
  const size_t at = authority.rfind(u'@');
  if (at != std::u16string_view::npos) authority = authority.substr(at + 1);
  return ValidHost(authority);
}

std::u16string_view LinkTarget(std::u16string_view text) {
  if (text.substr(0, kLinkPrefix.size()) != kLinkPrefix) return {};
  std::u16string_view target = text.substr(0, text.find(u'\n'));
  if (!target.empty() && target.back() == u'\r') target.remove_suffix(1);
  return target;
}

LinkOpener::LinkOpener() : clock_(&SteadyMilliseconds) {}

void LinkOpener::SetClock(Clock clock) {
  clock_ = clock ? std::move(clock) : Clock(&SteadyMilliseconds);
}

void LinkOpener::BeginStepStart() {
  openedCount_ = 0;
}

void LinkOpener::Request(std::u16string_view text) {
  const std::u16string_view target = LinkTarget(text);
  if (target.empty()) return;
  if (!IsWebLink(target)) {
    Platform().Diagnostic("playback",
                          u"link refused (not a web address): " + std::u16string(target));
    return;
  }
  for (int i = 0; i < openedCount_; ++i) {
    if (opened_[static_cast<size_t>(i)] == target) return;  // already opened at this step
  }
  if (openedCount_ >= kPerStepStart) {
    Platform().Diagnostic("playback",
                          u"link dropped (too many at one step): " + std::u16string(target));
    return;
  }
  const int64_t now = clock_();
  if (launchCount_ == kLaunchesPerWindow &&
      now - launches_[static_cast<size_t>(nextLaunch_)] < kWindowMs) {
    // The oldest of the last launches is still inside the window.
    Platform().Diagnostic("playback",
                          u"link dropped (too many launches): " + std::u16string(target));
    return;
  }
  opened_[static_cast<size_t>(openedCount_++)] = target;
  launches_[static_cast<size_t>(nextLaunch_)] = now;
  nextLaunch_ = (nextLaunch_ + 1) % kLaunchesPerWindow;
  if (launchCount_ < kLaunchesPerWindow) ++launchCount_;
  Platform().OpenDocument(std::u16string(target));
}

}  // namespace tolvani
