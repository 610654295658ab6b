// Placeholder until the headless state and script player are written.
#include <string.h>

#include "runtime/platform/headless/headless.h"

namespace qx {

HeadlessState& Headless() {
  static HeadlessState state;
  return state;
}
void HeadlessReset() { memset(&Headless(), 0, sizeof(HeadlessState)); }
int HeadlessLoadScriptText(const char*) { return 0; }
void HeadlessApplyDueEvents() {}
void HeadlessAdvanceMicros(uint64_t micros) { Headless().clockMicros += micros; }

}  // namespace qx
