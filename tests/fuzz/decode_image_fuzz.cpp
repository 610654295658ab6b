// Arbitrary bytes through the whole picture decoder chain, where every
// decoder sees every other format's pictures.
#include "tests/fuzz/image_fuzz.h"

QUARNEX_IMAGE_FUZZ_TARGET(nullptr, "")
