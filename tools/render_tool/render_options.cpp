#include "render_tool/render_options.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace tolvani::render_tool {

bool ParseWholeNumber(std::string_view text, long long low, long long high, long long* out) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  long long v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || v < low ||
      v > high) {
    return false;
  }
  *out = v;
  return true;
}

bool ParseSize(std::string_view text, int low, int high, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  long long w = 0, h = 0;
  if (x == std::string_view::npos || !ParseWholeNumber(text.substr(0, x), low, high, &w) ||
      !ParseWholeNumber(text.substr(x + 1), low, high, &h)) {
    return false;
  }
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions* o, std::string* why) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *why = a + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (a == "-o" || a == "--output") {
      if (!value(&o->output)) return false;
    } else if (a == "--script") {
      if (!value(&o->script)) return false;
    } else if (a == "--autoplay") {
      o->autoplay = true;
    } else if (a == "--size") {
      if (!value(&v)) return false;
      if (!ParseSize(v, kMinRenderSide, kMaxRenderSide, &o->width, &o->height)) {
        *why = "--size takes WxH, each " + std::to_string(kMinRenderSide) + " to " +
               std::to_string(kMaxRenderSide);
        return false;
      }
    } else if (a == "--max-seconds") {
      if (!value(&v)) return false;
      char* end = nullptr;
      const double seconds = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || *end != '\0' || !(seconds > 0) || seconds > kMaxRenderSeconds) {
        *why = "--max-seconds takes a number of seconds above 0, at most 86400";
        return false;
      }
      o->maxSeconds = seconds;
    } else if (a == "--quality") {
      if (!value(&v)) return false;
      long long q = 0;
      if (!ParseWholeNumber(v, 0, 100, &q)) {
        *why = "--quality takes 0 (smallest) to 100 (best)";
        return false;
      }
      o->quality = static_cast<int>(q);
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      *why = "unknown option '" + a + "'";
      return false;
    } else if (o->input.empty()) {
      o->input = a;
    } else {
      *why = "unexpected argument '" + a + "'";
      return false;
    }
  }
  if (o->input.empty() || o->output.empty()) {
    *why = "a FILE and -o OUT are needed";
    return false;
  }
  if (o->autoplay && !o->script.empty()) {
    *why = "--script and --autoplay exclude each other";
    return false;
  }
  return true;
}

bool ParseThumbnailOptions(const std::vector<std::string>& args, ThumbnailOptions* o,
                           std::string* why) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const struct {
      const char* name;
      long long low, high;
      const char* range;
    } kNumbers[] = {{"--size", 1, kMaxThumbnailSide, " takes 1 to 4096 pixels"},
                    {"--max-megabytes", 1, 1 << 20, " takes a number of megabytes"},
                    {"--time-limit", 1, 3600, " takes 1 to 3600 seconds"},
                    {"--memory-limit", 64, 1 << 20, " takes a number of megabytes from 64"}};
    const auto* number = std::find_if(std::begin(kNumbers), std::end(kNumbers),
                                      [&](const auto& n) { return a == n.name; });
    if (number != std::end(kNumbers)) {
      long long v = 0;
      if (i + 1 >= args.size() || !ParseWholeNumber(args[i + 1], number->low, number->high, &v)) {
        *why = a + number->range;
        return false;
      }
      ++i;
      if (a == "--size") {
        o->size = static_cast<int>(v);
      } else if (a == "--max-megabytes") {
        o->maxMegabytes = v;
      } else if (a == "--time-limit") {
        o->timeLimitSeconds = static_cast<int>(v);
      } else {
        o->memoryLimitMegabytes = v;
      }
    } else if (!a.empty() && a[0] == '-') {
      *why = "unknown option '" + a + "'";
      return false;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    *why = "FILE and OUT.png are needed";
    return false;
  }
  o->input = positional[0];
  o->output = positional[1];
  return true;
}

uint32_t ThumbnailTextureSide(int size) {
  const long long side = std::max(2LL * size, static_cast<long long>(kThumbnailMinTextureSide));
  return static_cast<uint32_t>(std::min(side, static_cast<long long>(kMaxRenderSide)));
}

}  // namespace tolvani::render_tool
