// Writes the heavy projects of builder/heavy_projects.h into a folder, for
// bench/heavy_inputs.sh:
//   heavy-inputs OUTDIR
#include <cstdio>
#include <string>

#include "builder/heavy_projects.h"

using namespace tolvani::builder;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: heavy-inputs OUTDIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  auto write = [&](const char* name, const ProjectBuilder& b) {
    b.WriteFile(dir + name + ".zvmov");
    std::printf("%s\n", name);
  };
  write("balloons_100", MakeBalloonCrowd(100));
  write("balloons_1000", MakeBalloonCrowd(1000));
  // "a" and a million combining acute accents; a Hebrew letter and a million points.
  write("marks_latin", MakeBalloonWithText(u"a" + std::u16string(1000000, u'\u0301')));
  write("marks_hebrew", MakeBalloonWithText(u"\u05D0" + std::u16string(1000000, u'\u05B0')));
  write("sounds", MakeSoundCrowd(20000, 1000, 1000));
  write("tiny_textures", MakeTinyTextures(1000000));
  write("large_image", MakeLargeImage(8192));
  write("large_model", MakeLargeModel(930));
  return 0;
}
