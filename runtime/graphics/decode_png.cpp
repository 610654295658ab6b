// PNG through libpng with a read function over the stream. libpng reports
// errors by longjmp; the buffers that may be live then are held in volatile
// pointers and freed after the jump.
#include <png.h>
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"

namespace qx {
namespace {

void ReadData(png_structp png, png_bytep data, png_size_t length) {
  StreamIn* in = static_cast<StreamIn*>(png_get_io_ptr(png));
  if (!in->Read(data, length)) png_error(png, "Read Error");
}

void Error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Warning(png_structp, png_const_charp) {}

}  // namespace

int DecodePng(const StreamOps* ops, void* stream, GraphImage* out) {
  uint8_t signature[8];
  StreamIn in{ops, stream};
  if (!in.Read(signature, 8) || png_sig_cmp(signature, 0, 8) != 0) return -1;

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Error, Warning);
  if (!png) return -1;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return -1;
  }
  uint8_t* volatile pixels = nullptr;
  png_bytep* volatile rows = nullptr;
  volatile int result = -1;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &in, ReadData);
    png_set_sig_bytes(png, 8);
    // Only the pixels and their transparency are used. Every other ancillary chunk is
    // skipped unread, so a damaged length in one (a text chunk claiming gigabytes) is
    // never allocated: libpng's own size check only warns on read.
    static const png_byte kTransparency[] = {'t', 'R', 'N', 'S', '\0'};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kTransparency, 1);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (ImageSizeAllowed(width, height, 4)) {
      png_set_strip_16(png);
      if (depth < 8) {
        png_set_packing(png);
        png_set_packswap(png);
      }
      if ((colorType == PNG_COLOR_TYPE_GRAY && depth <= 8) || transparency) png_set_expand(png);
      png_set_bgr(png);
      png_set_interlace_handling(png);
      png_read_update_info(png, info);
      size_t rowBytes = png_get_rowbytes(png, info);
      int channels = png_get_channels(png, info);
      int outType = png_get_color_type(png, info);
      if (png_get_bit_depth(png, info) == 8 && rowBytes >= static_cast<size_t>(width) * channels &&
          static_cast<uint64_t>(rowBytes) * height <= kMaxImageBytes) {
        pixels = static_cast<uint8_t*>(MemAlloc(rowBytes * height));
        rows = static_cast<png_bytep*>(MemAlloc(sizeof(png_bytep) * height));
        if (pixels && rows) {
          for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + rowBytes * y;
          png_read_image(png, rows);
          bool known = true;
          if (outType == PNG_COLOR_TYPE_PALETTE && channels == 1) {
            SetPalette8Format(&out->format);
            png_colorp palette = nullptr;
            int count = 0;
            if (png_get_PLTE(png, info, &palette, &count) && palette) {
              for (int i = 0; i < count && i < 256; ++i) {
                out->format.PaletteTable[i * 4 + 0] = palette[i].blue;
                out->format.PaletteTable[i * 4 + 1] = palette[i].green;
                out->format.PaletteTable[i * 4 + 2] = palette[i].red;
              }
            }
          } else if (channels == 4) {
            SetArgb32Format(&out->format);
          } else if (channels == 3) {
            SetRgb24Format(&out->format);
          } else if (channels == 2) {
            SetGreyAlpha16Format(&out->format);
          } else if (channels == 1) {
            SetGrey8Format(&out->format);
          } else {
            known = false;
          }
          if (known) {
            out->width = static_cast<int>(width);
            out->height = static_cast<int>(height);
            out->pitch = static_cast<int>(rowBytes);
            out->pixels = pixels;
            pixels = nullptr;
            result = 0;
          }
        }
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (rows) MemFree(rows);
  if (pixels) MemFree(pixels);
  return result;
}

}  // namespace qx
