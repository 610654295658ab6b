// PNG through libpng with a read function over the stream. libpng reports
// errors by longjmp; the buffers that may be live then are held in volatile
// pointers and freed after the jump.
//
// Pictures already in memory first try a faster path for the common plain
// kinds (8-bit grey, grey with alpha, RGB, RGBA; not interlaced; no
// transparency chunk): the whole image data is inflated at once with
// libdeflate and unfiltered here. It takes only files that are sound from
// end to end (every checksum right, the image data exactly as long as the
// rows) and hands anything else to libpng, so damaged files fail exactly as
// before and every picture it takes has the pixels libpng gives.
#include <emmintrin.h>
#include <libdeflate.h>
#include <png.h>
#include <string.h>

#include <thread>
#include <utility>

#include "runtime/core/alloc.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/platform/portable.h"

namespace qx {
namespace {

void ReadData(png_structp png, png_bytep data, png_size_t length) {
  StreamIn* in = static_cast<StreamIn*>(png_get_io_ptr(png));
  if (!in->Read(data, length)) png_error(png, "Read Error");
}

void Error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Warning(png_structp, png_const_charp) {}

uint32_t BigU32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

constexpr uint32_t kIhdr = 0x49484452, kIdat = 0x49444154;
// libpng's own limit on a chunk other than image data.
constexpr uint32_t kLibpngMaxChunk = 8000000;

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  int p = a + b - c;
  int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// One pixel of three or four bytes, a channel per 16-bit lane.
template <int kBpp>
__m128i LoadPixel(const uint8_t* p) {
  uint32_t v = 0;
  memcpy(&v, p, kBpp);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), _mm_setzero_si128());
}
template <int kBpp>
void StorePixel(uint8_t* p, __m128i v) {
  const uint32_t x = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
  memcpy(p, &x, kBpp);
}

// A pixel with its filter undone from the filtered bytes d, the pixel to the
// left a, above b and above-left c, all in 16-bit lanes of 0 to 255.
inline __m128i UnfilterPixel(int filter, __m128i d, __m128i a, __m128i b, __m128i c) {
  const __m128i low = _mm_set1_epi16(0xFF);
  switch (filter) {
    case 1: return _mm_and_si128(_mm_add_epi16(d, a), low);
    case 2: return _mm_and_si128(_mm_add_epi16(d, b), low);
    case 3: return _mm_and_si128(_mm_add_epi16(d, _mm_srli_epi16(_mm_add_epi16(a, b), 1)), low);
    case 4: {
      // pa = |b - c|, pb = |a - c|, pc = |a + b - 2c|; a on the smallest,
      // then b, then c.
      const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
      const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(c, b));
      const __m128i pb = _mm_max_epi16(ac, _mm_sub_epi16(c, a));
      const __m128i sum = _mm_add_epi16(ac, bc);
      const __m128i pc = _mm_max_epi16(sum, _mm_sub_epi16(_mm_setzero_si128(), sum));
      const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
      const __m128i takeC = _mm_cmpgt_epi16(pb, pc);
      const __m128i bOrC = _mm_xor_si128(b, _mm_and_si128(_mm_xor_si128(b, c), takeC));
      const __m128i pred = _mm_xor_si128(a, _mm_and_si128(_mm_xor_si128(a, bOrC), notA));
      return _mm_and_si128(_mm_add_epi16(d, pred), low);
    }
    default: return d;
  }
}

// Undoes the filters of two rows at once (or one when `in1` is null): the
// second row runs a pixel behind the first, so the two chains of pixels
// depending on their left neighbours overlap. Rows of three or four bytes
// per pixel; `prev` is the row above the first (zeros above the image).
template <int kBpp>
void UnfilterRows(const uint8_t* in0, const uint8_t* in1, const uint8_t* prev, uint8_t* cur0, uint8_t* cur1,
                  size_t n) {
  const int f0 = in0[-1], f1 = in1 ? in1[-1] : 0;
  const __m128i zero = _mm_setzero_si128();
  __m128i a0 = zero, c0 = zero, a1 = zero;
  for (size_t i = 0; i < n; i += kBpp) {
    const __m128i b0 = LoadPixel<kBpp>(prev + i);
    const __m128i n0 = UnfilterPixel(f0, LoadPixel<kBpp>(in0 + i), a0, b0, c0);
    StorePixel<kBpp>(cur0 + i, n0);
    if (in1) {
      a1 = UnfilterPixel(f1, LoadPixel<kBpp>(in1 + i), a1, n0, a0);
      StorePixel<kBpp>(cur1 + i, a1);
    }
    c0 = b0;
    a0 = n0;
  }
}

// One row byte by byte, for pixels of one and two bytes.
template <int kBpp>
void UnfilterRow(int filter, const uint8_t* in, const uint8_t* prev, uint8_t* cur, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t a = i >= kBpp ? cur[i - kBpp] : 0;
    const uint8_t c = i >= kBpp ? prev[i - kBpp] : 0;
    uint8_t predictor = 0;
    if (filter == 1) predictor = a;
    else if (filter == 2) predictor = prev[i];
    else if (filter == 3) predictor = static_cast<uint8_t>((a + prev[i]) >> 1);
    else if (filter == 4) predictor = Paeth(a, prev[i], c);
    cur[i] = static_cast<uint8_t>(in[i] + predictor);
  }
}

template <int kBpp>
void StoreRow(const uint8_t* cur, uint8_t* out, size_t rowBytes) {
  if constexpr (kBpp == 4) {
    for (size_t i = 0; i < rowBytes; i += 4) {
      uint32_t v;
      memcpy(&v, cur + i, 4);
      v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
      memcpy(out + i, &v, 4);
    }
  } else if constexpr (kBpp == 3) {
    for (size_t i = 0; i < rowBytes; i += 3) {
      out[i] = cur[i + 2];
      out[i + 1] = cur[i + 1];
      out[i + 2] = cur[i];
    }
  } else {
    memcpy(out, cur, rowBytes);
  }
}

// Unfilters the inflated rows first..last-1 (a filter byte and rowBytes bytes
// each) in place: row y lands at y * rowBytes, never ahead of the bytes still
// to be read. Colour rows are stored blue, green, red as libpng's BGR order
// gives them; `rows` holds three rows in file order for the filters. Row
// `first` is taken to have zeros above it, so it must be row 0 or not look
// up. With `held`, row first's pixels go there instead: their place still
// holds the end of the row above, which another thread may be reading.
template <int kBpp>
void UnfilterRange(uint8_t* data, size_t rowBytes, uint32_t first, uint32_t last, uint8_t* rows, uint8_t* held) {
  uint8_t* prev = rows;
  uint8_t* cur0 = rows + rowBytes;
  uint8_t* cur1 = rows + 2 * rowBytes;
  memset(prev, 0, rowBytes);
  const uint32_t step = kBpp >= 3 ? 2 : 1;
  for (uint32_t y = first; y < last; y += step) {
    const uint8_t* in0 = data + static_cast<size_t>(y) * (rowBytes + 1) + 1;
    const bool pair = step == 2 && y + 1 < last;
    if constexpr (kBpp >= 3) {
      UnfilterRows<kBpp>(in0, pair ? in0 + rowBytes + 1 : nullptr, prev, cur0, cur1, rowBytes);
    } else {
      UnfilterRow<kBpp>(in0[-1], in0, prev, cur0, rowBytes);
    }
    StoreRow<kBpp>(cur0, held && y == first ? held : data + static_cast<size_t>(y) * rowBytes, rowBytes);
    if (pair) {
      StoreRow<kBpp>(cur1, data + static_cast<size_t>(y + 1) * rowBytes, rowBytes);
      std::swap(prev, cur1);
    } else {
      std::swap(prev, cur0);
    }
  }
}

// Pictures at least this big are unfiltered in two halves side by side.
constexpr size_t kSplitBytes = 2u << 20;

// A row near the middle whose filter does not look at the row above (none or
// left), from where the rest can be unfiltered on its own; 0 when none is.
uint32_t SplitRow(const uint8_t* data, size_t rowBytes, uint32_t height) {
  for (uint32_t d = 0; d <= height / 4; ++d) {
    for (uint32_t y : {height / 2 - d, height / 2 + d}) {
      if (y > 0 && y < height && data[static_cast<size_t>(y) * (rowBytes + 1)] <= 1) return y;
    }
  }
  return 0;
}

// Unfilters the whole picture; false for an unknown filter. Big colour
// pictures with a row that starts afresh are done in two halves at once.
template <int kBpp>
bool UnfilterImage(uint8_t* data, size_t rowBytes, uint32_t height, uint8_t* rows) {
  for (uint32_t y = 0; y < height; ++y)
    if (data[static_cast<size_t>(y) * (rowBytes + 1)] > 4) return false;
  const uint32_t split = kBpp >= 3 && rowBytes * height >= kSplitBytes ? SplitRow(data, rowBytes, height) : 0;
  uint8_t* second = split && kThreadsAvailable ? static_cast<uint8_t*>(MemAlloc(4 * rowBytes)) : nullptr;
  if (second) {
    uint8_t* held = second + 3 * rowBytes;
    bool started = false;
    try {
      std::thread lower([=] { UnfilterRange<kBpp>(data, rowBytes, split, height, second, held); });
      started = true;
      UnfilterRange<kBpp>(data, rowBytes, 0, split, rows, nullptr);
      lower.join();
    } catch (...) {
      // No thread to be had: the whole picture on this one.
    }
    if (started) memcpy(data + static_cast<size_t>(split) * rowBytes, held, rowBytes);
    MemFree(second);
    if (started) return true;
  }
  UnfilterRange<kBpp>(data, rowBytes, 0, height, rows, nullptr);
  return true;
}

}  // namespace

int DecodePngInMemory(const uint8_t* data, size_t size, GraphImage* out) {
  if (size < 8 + 25 || png_sig_cmp(data, 0, 8) != 0) return -1;
  size_t pos = 8;
  if (BigU32(data + pos) != 13 || BigU32(data + pos + 4) != kIhdr) return -1;
  const uint8_t* ihdr = data + pos + 8;
  const uint32_t width = BigU32(ihdr), height = BigU32(ihdr + 4);
  const int depth = ihdr[8], colourType = ihdr[9];
  if (depth != 8 || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0) return -1;
  int channels;
  switch (colourType) {
    case 0: channels = 1; break;
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return -1;
  }
  if (!ImageSizeAllowed(width, height, 4)) return -1;
  const size_t rowBytes = static_cast<size_t>(width) * channels;
  const size_t inflated = (rowBytes + 1) * height;
  // libpng's bound on one image data chunk.
  const uint64_t rowFactor = rowBytes + 1;
  uint64_t idatLimit = static_cast<uint64_t>(height) * rowFactor;
  idatLimit += 6 + 5 * (idatLimit / (rowFactor > 32566 ? 32566 : rowFactor) + 1);
  if (idatLimit < kLibpngMaxChunk) idatLimit = kLibpngMaxChunk;

  // Walk the chunks up to the end of the image data: the header, then only
  // ancillary chunks other than transparency, then one run of image data.
  size_t idatFirst = 0, idatBytes = 0, idatChunks = 0;
  bool inIdat = false;
  for (;;) {
    if (size - pos < 12) return -1;
    const uint32_t length = BigU32(data + pos), type = BigU32(data + pos + 4);
    if (length > 0x7FFFFFFFu || size - pos - 12 < length) return -1;
    for (int i = 4; i < 8; ++i) {
      const uint8_t c = data[pos + i];
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return -1;
    }
    const bool isIdat = type == kIdat;
    if (length > (isIdat ? idatLimit : kLibpngMaxChunk)) return -1;
    if (libdeflate_crc32(0, data + pos + 4, length + 4) != BigU32(data + pos + 8 + length)) return -1;
    if (isIdat) {
      if (!inIdat) idatFirst = pos;
      inIdat = true;
      idatBytes += length;
      ++idatChunks;
    } else if (inIdat) {
      break;
    } else if (pos != 8) {
      const bool ancillary = (data[pos + 4] & 0x20) != 0;
      if (!ancillary || memcmp(data + pos + 4, "tRNS", 4) == 0) return -1;
    }
    pos += 12 + length;
    if (inIdat && pos == size) break;
  }
  if (idatBytes == 0) return -1;

  // One chunk is inflated where it lies; several are joined first.
  const uint8_t* compressed = data + idatFirst + 8;
  uint8_t* joined = nullptr;
  if (idatChunks > 1) {
    joined = static_cast<uint8_t*>(MemAllocBrief(idatBytes));
    if (!joined) return -1;
    size_t at = idatFirst, o = 0;
    for (size_t i = 0; i < idatChunks; ++i) {
      const uint32_t length = BigU32(data + at);
      memcpy(joined + o, data + at + 8, length);
      o += length;
      at += 12 + length;
    }
    compressed = joined;
  }
  // A window smaller than 32 KiB is left to zlib, which holds distances to it.
  const bool fullWindow = idatBytes >= 2 && (compressed[0] >> 4) == 7;
  // Only four channels can become a graph's store as they are; other kinds
  // are converted into one and freed.
  uint8_t* pixels = !fullWindow        ? nullptr
                    : channels == 4 ? static_cast<uint8_t*>(MemAlloc(inflated))
                                    : static_cast<uint8_t*>(MemAllocBrief(inflated));
  bool ok = false;
  if (pixels) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t used = 0, produced = 0;
    ok = d && libdeflate_zlib_decompress_ex(d, compressed, idatBytes, pixels, inflated, &used, &produced) ==
                  LIBDEFLATE_SUCCESS &&
         used == idatBytes && produced == inflated;
    if (d) libdeflate_free_decompressor(d);
  }
  if (joined) MemFree(joined);
  if (ok) {
    uint8_t* rows = static_cast<uint8_t*>(MemAlloc(3 * rowBytes));
    ok = rows != nullptr;
    switch (ok ? channels : 0) {
      case 0: break;
      case 1: ok = UnfilterImage<1>(pixels, rowBytes, height, rows); break;
      case 2: ok = UnfilterImage<2>(pixels, rowBytes, height, rows); break;
      case 3: ok = UnfilterImage<3>(pixels, rowBytes, height, rows); break;
      default: ok = UnfilterImage<4>(pixels, rowBytes, height, rows); break;
    }
    if (rows) MemFree(rows);
  }
  if (!ok) {
    if (pixels) MemFree(pixels);
    return -1;
  }
  switch (channels) {
    case 1: SetGrey8Format(&out->format); break;
    case 2: SetGreyAlpha16Format(&out->format); break;
    case 3: SetRgb24Format(&out->format); break;
    default: SetArgb32Format(&out->format); break;
  }
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->pitch = static_cast<int>(rowBytes);
  out->pixels = pixels;
  return 0;
}

int DecodePngWithLibpng(const StreamOps* ops, void* stream, GraphImage* out) {
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

int DecodePng(const StreamOps* ops, void* stream, GraphImage* out) {
  if (ops == &MemoryStreamOps()) {
    const MemoryStream* m = static_cast<const MemoryStream*>(stream);
    if (m->position <= m->size && DecodePngInMemory(m->data + m->position, m->size - m->position, out) == 0)
      return 0;
  }
  return DecodePngWithLibpng(ops, stream, out);
}

}  // namespace qx
