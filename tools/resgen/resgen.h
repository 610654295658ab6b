// The generator's parts: each writes its share of the resource tree.
#ifndef QUARNEX_TOOLS_RESGEN_RESGEN_H
#define QUARNEX_TOOLS_RESGEN_RESGEN_H

#include <string>

#include "audio.h"
#include "canvas.h"

namespace resgen {

// Where files go; remembers the first failure so the program can exit non-zero.
class Output {
 public:
  explicit Output(std::string root) : root_(std::move(root)) {}
  // Paths are relative to the output root, e.g. "res/img/game/bg1.png".
  void Png(const std::string& rel, const Canvas& c, bool opaque);
  void Wav(const std::string& rel, const Sound& s);
  bool ok() const { return ok_; }
  int files() const { return files_; }
 private:
  std::string Prepare(const std::string& rel);
  std::string root_;
  bool ok_ = true;
  int files_ = 0;
};

// Colours shared by the pictures so a type or a stone kind reads the same everywhere.
Rgba TypeColor(int type);   // 0 steel, 1 thunder, 2 ice
Rgba StoneColor(int kind);  // 0 crystal, 1 magma, 2 ore

// Pieces reused across pictures.
Canvas StoneCell(int kind, bool cracked);        // 512 x 512, the stone centred
Canvas TypeIcon(int type, int size);             // square attack-type icon
void SpaceBackdrop(Canvas& c, uint32_t seed, float nebula, float stars);  // opaque deep-space fill

void MakeCommonArt(Output& out);
void MakeGameArt(Output& out);
void MakeStoneArt(Output& out);
void MakeSounds(Output& out);
void MakeMusic(Output& out);

}  // namespace resgen

#endif
