// quarnex-resgen OUTDIR: writes the game's pictures and sounds under OUTDIR/res/.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "resgen.h"
#include "text.h"

namespace resgen {

std::string Output::Prepare(const std::string& rel) {
  std::filesystem::path p = std::filesystem::path(root_) / rel;
  std::error_code ec;
  std::filesystem::create_directories(p.parent_path(), ec);
  return p.string();
}

void Output::Png(const std::string& rel, const Canvas& c, bool opaque) {
  if (!c.WritePng(Prepare(rel), opaque)) {
    std::fprintf(stderr, "quarnex-resgen: cannot write %s\n", rel.c_str());
    ok_ = false;
  }
  ++files_;
}

void Output::Wav(const std::string& rel, const Sound& s) {
  if (!WriteWav(Prepare(rel), s)) {
    std::fprintf(stderr, "quarnex-resgen: cannot write %s\n", rel.c_str());
    ok_ = false;
  }
  ++files_;
}

}  // namespace resgen

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quarnex-resgen OUTDIR\n");
    return 2;
  }
  if (!resgen::TextInit()) {
    resgen::TextDone();
    return 1;
  }
  resgen::Output out(argv[1]);
  resgen::MakeCommonArt(out);
  resgen::MakeGameArt(out);
  resgen::MakeStoneArt(out);
  resgen::MakeSounds(out);
  resgen::MakeMusic(out);
  resgen::TextDone();
  if (!out.ok()) return 1;
  std::printf("quarnex-resgen: %d files written to %s/res\n", out.files(), argv[1]);
  return 0;
}
