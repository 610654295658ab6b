// JPEG through libjpeg (version-62 interface) with a source manager over the
// stream. Errors longjmp back here; nothing with a destructor lives across
// the jump, and the output buffer is freed by the caller's release on refusal.
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <jpeglib.h>
#include <jerror.h>

#include "runtime/core/alloc.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"

namespace qx {
namespace {

constexpr size_t kBlockSize = 4096;

struct JpegSource {
  jpeg_source_mgr pub;
  StreamIn in;
  bool anyRead;
  JOCTET buffer[kBlockSize];
};

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
  size_t got = src->in.ops->Read(src->buffer, 1, kBlockSize, src->in.handle);
  if (got == 0 || got > kBlockSize) {
    if (!src->anyRead) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // A truncated file ends as if its end-of-image marker were there.
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  src->anyRead = true;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = got;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
  if (count <= 0) return;
  while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    FillInput(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void ErrorExit(j_common_ptr cinfo) {
  JpegError* err = reinterpret_cast<JpegError*>(cinfo->err);
  longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}

}  // namespace

int DecodeJpeg(const StreamOps* ops, void* stream, GraphImage* out) {
  // Large records live on the heap: the decoder may run on small stacks.
  struct State {
    jpeg_decompress_struct cinfo;
    JpegError err;
    JpegSource source;
  };
  State* volatile state = static_cast<State*>(MemAllocZero(sizeof(State)));
  if (!state) return -1;
  State* s = state;
  s->cinfo.err = jpeg_std_error(&s->err.pub);
  s->err.pub.error_exit = ErrorExit;
  s->err.pub.output_message = OutputMessage;
  s->source.in = StreamIn{ops, stream};
  volatile int created = 0;
  volatile int result = -1;
  if (setjmp(s->err.jump) == 0) {
    jpeg_create_decompress(&s->cinfo);
    created = 1;
    s->source.pub.init_source = InitSource;
    s->source.pub.fill_input_buffer = FillInput;
    s->source.pub.skip_input_data = SkipInput;
    s->source.pub.resync_to_restart = jpeg_resync_to_restart;
    s->source.pub.term_source = TermSource;
    s->cinfo.src = &s->source.pub;
    jpeg_read_header(&s->cinfo, TRUE);
    jpeg_start_decompress(&s->cinfo);
    int width = static_cast<int>(s->cinfo.output_width);
    int height = static_cast<int>(s->cinfo.output_height);
    int components = s->cinfo.output_components;
    if ((components == 1 || components == 3) && ImageSizeAllowed(width, height, components)) {
      out->pitch = width * components;
      out->pixels = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(out->pitch) * height));
      if (out->pixels) {
        while (s->cinfo.output_scanline < s->cinfo.output_height) {
          JSAMPROW row = out->pixels + static_cast<size_t>(s->cinfo.output_scanline) * out->pitch;
          jpeg_read_scanlines(&s->cinfo, &row, 1);
        }
        if (components == 3) {
          uint8_t* p = out->pixels;
          for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i, p += 3) {
            uint8_t t = p[0];
            p[0] = p[2];
            p[2] = t;
          }
          SetRgb24Format(&out->format);
        } else {
          SetGrey8Format(&out->format);
        }
        out->width = width;
        out->height = height;
        jpeg_finish_decompress(&s->cinfo);
        result = 0;
      }
    }
  }
  if (created) jpeg_destroy_decompress(&state->cinfo);
  MemFree(state);
  if (result != 0) ReleaseGraphImage(out);
  return result;
}

}  // namespace qx
