#include "prepare/texture_budget.h"

namespace tolvani {

namespace {
TextureLimits g_limits;
}  // namespace

void SetTextureLimits(const TextureLimits& limits) {
  g_limits = limits;
}

const TextureLimits& ProcessTextureLimits() {
  return g_limits;
}

}  // namespace tolvani
