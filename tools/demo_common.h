// Pieces shared by the demo project and the examples: the balloon card and
// its rim, the sky backdrop, grass and tree images, trees, and the sounds.
#pragma once

#include <string>

#include "builder/project_builder.h"
#include "builder/scene_kit.h"

namespace tolvani::demo {

using builder::ProjectBuilder;

// Material indices of the common materials, in the order AddCommonMaterials
// appends them.
struct CommonMaterials {
  int32_t card = -1;   // "ZavroFukidashiMaterial": the balloon card
  int32_t rim = -1;    // the balloon's dark rim
  int32_t sky = -1;    // backdrop image, 3 channels
  int32_t grass = -1;  // ground image, 3 channels
  int32_t tree = -1;   // tree cut-out, 4 channels
  int32_t bark = -1;   // plain brown
};
CommonMaterials AddCommonMaterials(ProjectBuilder& b);

// A balloon model of half width w and half height h (see AddBalloonShape).
CModel& AddBalloon(ProjectBuilder& b, const std::u16string& name, const CommonMaterials& mats,
                   float w, float h);
// A background-pass model covering the view with the sky image.
CModel& AddSkyBackdrop(ProjectBuilder& b, const CommonMaterials& mats);
// A tree of crossed cut-out cards standing at base, `height` tall.
void AddTree(CModel& m, Vec3 base, float height, const CommonMaterials& mats);

// Sounds: "chime1" .. "chime4" (rising bell notes), "bell" (a low bell),
// "loop" (a music-box background loop), all 22050 Hz 16-bit mono.
void AddCommonSounds(ProjectBuilder& b, bool withLoop);

// Adds one entry per step to timeline t; entries are hidden unless shown.
void FillEntries(ProjectBuilder& b, CTimeLine& t, int steps,
                 EntryState state = EntryState::kHidden);

}  // namespace tolvani::demo
