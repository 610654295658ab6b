// Sound output without a device: set-up fails, so the sound system stays down
// and the game runs silently.
#include "runtime/platform/tables.h"

namespace qx {
namespace {

int NoDevice(int, int, int) { return -1; }
void Nothing() {}

PlatformSoundOps MakeNoSoundOps() {
  PlatformSoundOps ops{};
  ops.Init = NoDevice;
  ops.Shutdown = Nothing;
  return ops;
}

}  // namespace

const PlatformSoundOps kNoSoundOps = MakeNoSoundOps();

}  // namespace qx
