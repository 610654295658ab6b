// Helpers for the decoder tests: fixtures, decoders over memory, WAVE bytes.
#ifndef QUARNEX_TESTS_SOUND_DECODER_TEST_UTIL_H
#define QUARNEX_TESTS_SOUND_DECODER_TEST_UTIL_H

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/core/alloc.h"
#include "runtime/file/file.h"
#include "runtime/sound/sound_decoder.h"
#include "support/read_file.h"

namespace qxtest {

inline std::vector<uint8_t> ReadSoundFixture(const std::string& name) {
  return ReadWholeFile(std::string(QUARNEX_SOURCE_DIR) + "/tests/fixtures/sounds/" + name);
}

// A decoder over a memory stream of its own, both closed on destruction.
struct MemoryDecoder {
  std::vector<uint8_t> bytes;
  qx::MemoryStream* stream = nullptr;
  qx::SoundDecoder decoder{};
  int openResult = -1;

  explicit MemoryDecoder(std::vector<uint8_t> b) : bytes(std::move(b)) {
    stream = qx::OpenMemoryStream(bytes.data(), bytes.size());
    if (stream) openResult = qx::SoundDecoderOpen(&decoder, qx::MemoryStreamOps(), stream);
  }
  ~MemoryDecoder() {
    if (openResult == 0) qx::SoundDecoderClose(&decoder);
    if (stream) qx::MemoryStreamOps().Close(stream);
  }
  bool ok() const { return openResult == 0; }

  std::vector<uint8_t> DecodeAll() {
    uint8_t* pcm = nullptr;
    size_t size = 0;
    qx::WaveFormat format{};
    std::vector<uint8_t> out;
    if (qx::SoundDecoderDecodeAll(&decoder, &pcm, &size, &format) != 0) return out;
    out.assign(pcm, pcm + size);
    qx::MemFree(pcm);
    return out;
  }
  // Reads to the end in pieces of `piece` bytes.
  std::vector<uint8_t> ReadRest(size_t piece) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(piece);
    size_t n;
    while ((n = qx::SoundDecoderRead(&decoder, buffer.data(), piece)) > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    return out;
  }
};

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
inline void PutChunk(std::vector<uint8_t>& v, const char* id, const std::vector<uint8_t>& body) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(id[i]));
  Put32(v, static_cast<uint32_t>(body.size()));
  v.insert(v.end(), body.begin(), body.end());
  if (body.size() & 1) v.push_back(0);
}
// "RIFF" size "WAVE" and the given chunks in order.
inline std::vector<uint8_t> RiffWave(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const auto& c : chunks) v.insert(v.end(), c.begin(), c.end());
  uint32_t size = static_cast<uint32_t>(v.size() - 8);
  memcpy(v.data() + 4, &size, 4);
  return v;
}
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> v;
  PutChunk(v, id, body);
  return v;
}
// A PCM format chunk body: 16 bytes, or 18 with the extra size.
inline std::vector<uint8_t> PcmFmt(int channels, uint32_t rate, int bits, bool withExtra = true,
                                   int bitsField = -1) {
  std::vector<uint8_t> v;
  const int align = channels * bits / 8;
  Put16(v, 1);
  Put16(v, static_cast<uint32_t>(channels));
  Put32(v, rate);
  Put32(v, rate * static_cast<uint32_t>(align));
  Put16(v, static_cast<uint32_t>(align));
  Put16(v, static_cast<uint32_t>(bitsField < 0 ? bits : bitsField));
  if (withExtra) Put16(v, 0);
  return v;
}

// Sample frame i of a test tone as 16-bit little-endian bytes per channel.
inline std::vector<uint8_t> TonePcm16(int frames, int channels) {
  std::vector<uint8_t> v;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) Put16(v, static_cast<uint16_t>(static_cast<int16_t>((i * 977 + c * 4099) % 60000 - 30000)));
  return v;
}

}  // namespace qxtest

#endif
