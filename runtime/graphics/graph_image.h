// Decoded pictures and the decoders that make them.
#ifndef QUARNEX_RUNTIME_GRAPHICS_GRAPH_IMAGE_H
#define QUARNEX_RUNTIME_GRAPHICS_GRAPH_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/file/file.h"
#include "runtime/runtime.h"

namespace qx {

struct GraphImage {
  ColorFormat format;
  int width;
  int height;
  int pitch;
  uint8_t* pixels;  // owned, rows top to bottom
};

// Every decoder: 0 when it filled out, anything else when it refused.
typedef int (*ImageDecoder)(const StreamOps* ops, void* stream, GraphImage* out);

// Tries the added decoders, then BMP, JPEG, PNG, BGRA, TGA, DDS. 0 or -1.
int DecodeImage(const StreamOps* ops, void* stream, GraphImage* out);
// Up to 10 decoders tried before the built-in ones. 0, or -1 when full.
int AddImageDecoder(ImageDecoder decoder);
void ClearImageDecoders();

int DecodeBmp(const StreamOps* ops, void* stream, GraphImage* out);
int DecodeJpeg(const StreamOps* ops, void* stream, GraphImage* out);
int DecodePng(const StreamOps* ops, void* stream, GraphImage* out);
int DecodeBgra(const StreamOps* ops, void* stream, GraphImage* out);
int DecodeTga(const StreamOps* ops, void* stream, GraphImage* out);
int DecodeDds(const StreamOps* ops, void* stream, GraphImage* out);

// Frees the pixels and clears the record.
void ReleaseGraphImage(GraphImage* image);

// Largest picture a decoder will allocate: a header asking for more is damaged
// or hostile, and allocating it would only exhaust memory.
constexpr int kMaxImageSide = 32768;
constexpr uint64_t kMaxImageBytes = 1ull << 30;
bool ImageSizeAllowed(int64_t width, int64_t height, int64_t bytesPerPixel);

// Shared layouts of decoded pictures.
void SetPalette8Format(ColorFormat* format);  // palette-8, palette cleared
void SetGrey8Format(ColorFormat* format);
void SetRgb24Format(ColorFormat* format);
void SetArgb32Format(ColorFormat* format);
void SetXrgb16Format(ColorFormat* format);
void SetGreyAlpha16Format(ColorFormat* format);

// Loading (image_load.cpp).
// Reads a picture and its "_a" companion from a file (data null) or from a
// memory block. -1 failed, 0 picture and alpha picture, 1 picture only.
int LoadGraphImage(const char* fileName, const void* data, size_t size, int reverse, GraphImage* picture,
                   GraphImage* alpha);
// Mirrors a picture left to right in place.
void MirrorGraphImage(GraphImage* image);
GraphHandle BuildGraphFromImage(GraphImage* picture, GraphImage* alpha, bool textureAllowed, bool reverse,
                                bool mirrorNow);
int CreateDivGraphFromGraphImage(GraphImage* picture, GraphImage* alpha, int count, int across, int down,
                                 int cellWidth, int cellHeight, GraphHandle* handles, bool textureAllowed,
                                 bool reverse, bool mirrorNow);
int TransferImageToGraph(const GraphImage* picture, const GraphImage* alpha, int sourceX, int sourceY,
                         GraphHandle graph, int reverse);
// Converts the source rectangle (right and bottom exclusive) into the
// destination at (destX, destY). 0, the highest index for palette copies, or -1.
int ConvertImageRect(uint8_t* dest, int destPitch, const ColorFormat* destFormat, const GraphImage* source,
                     const GraphImage* alpha, int destX, int destY, const Rect* sourceRect, int mirror,
                     int transparentMode, uint32_t transparentColor, int zeroColor, int alphaFromRed);

// The loader used to refill graphs after the display was lost.
typedef int (*ImageFileLoader)(const char* fileName, const void* data, size_t size, int reverse,
                               GraphImage* picture, GraphImage* alpha);
ImageFileLoader GetImageFileLoader();

}  // namespace qx

#endif
