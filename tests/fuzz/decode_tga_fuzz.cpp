// The TGA decoder alone on arbitrary bytes.
#include "tests/fuzz/image_fuzz.h"

QUARNEX_IMAGE_FUZZ_TARGET(qx::DecodeTga, "tga")
