#!/usr/bin/env bash
# Regenerates the small sound fixtures under tests/fixtures/sounds/.
# Run once; the results are committed. Encoded files come from sox, lame,
# twolame and oggenc; the WAVE variants they cannot write are put together
# byte by byte below. Every "<file>.raw" is the reference decode of <file>:
# 16-bit signed little-endian PCM (8-bit files: their unsigned bytes),
# channels interleaved, as sox, lame --decode or oggdec produce it.
set -euo pipefail
cd "$(dirname "$0")/../tests/fixtures/sounds"
rm -f ./*.wav ./*.mp3 ./*.mp2 ./*.ogg ./*.raw

# No dither and fixed random numbers, so every run writes the same bytes.
SOX="sox -D -R"
$SOX -n -r 11025 -c 2 -b 16 _stereo.wav synth 0.25 sine 200-4000 sine 523 vol 0.8
$SOX -n -r 8000 -c 1 -b 16 _mono.wav synth 0.25 sine 2000-150 vol 0.9
$SOX -n -r 22050 -c 1 -b 16 _mono22.wav synth 0.3 sine 300-3000 vol 0.7
$SOX -n -r 8000 -c 2 -b 16 _tiny.wav synth 0.05 sine 700 sine 900 vol 0.5
$SOX -n -r 44100 -c 2 -b 16 _silence44.wav synth 6.5 sine 440 vol 0
$SOX -n -r 44100 -c 2 -b 16 _stereo44.wav synth 0.15 sine 440 sine 1000-200 vol 0.6

raw() { $SOX "$1" -t raw -e signed-integer -b 16 -L "${1%.*}.raw"; }

# PCM.
$SOX _mono.wav -b 8 -e unsigned-integer pcm8_mono.wav
$SOX pcm8_mono.wav -t raw pcm8_mono.raw
cp _stereo.wav pcm16_stereo.wav
raw pcm16_stereo.wav

# Compressed WAVE: sox both writes and decodes these.
$SOX _mono.wav -e ima-adpcm ima_mono.wav
$SOX _stereo.wav -e ima-adpcm ima_stereo.wav
$SOX _mono.wav -e ms-adpcm ms_mono.wav
$SOX _stereo.wav -e ms-adpcm ms_stereo.wav
$SOX _mono.wav -e u-law ulaw_mono.wav
$SOX _stereo.wav -e a-law alaw_stereo.wav
for f in ima_mono ima_stereo ms_mono ms_stereo ulaw_mono alaw_stereo; do raw $f.wav; done

# MPEG audio: Layer 3 (MPEG-1 and MPEG-2 rates) and Layer 2; tags on one file.
lame --quiet -b 96 --resample 44.1 _stereo44.wav l3_stereo44.mp3
lame --quiet -b 32 --add-id3v2 --tt Quarnex --ta Quarnex _mono22.wav l3_mono22_tags.mp3
twolame --quiet -b 64 _mono22.wav l2_mono22.mp2 2>/dev/null || twolame --quiet -b 64 -m m _mono22.wav l2_mono22.mp2
lame --quiet --decode -t l3_stereo44.mp3 l3_stereo44.raw
lame --quiet --decode -t l3_mono22_tags.mp3 l3_mono22_tags.raw
lame --quiet --mp2input --decode -t l2_mono22.mp2 l2_mono22.raw

# Ogg Vorbis.
oggenc --quiet -q 0 --serial 7 -o vorbis_stereo44.ogg _stereo44.wav
oggenc --quiet -q 2 --serial 8 -o vorbis_mono22.ogg _mono22.wav
oggdec --quiet -R -o vorbis_stereo44.raw vorbis_stereo44.ogg
# Six and a half seconds of silence: decodes to more than a megabyte, has no reference.
oggenc --quiet -q -1 --serial 9 -o vorbis_silence44.ogg _silence44.wav
oggdec --quiet -R -o vorbis_mono22.raw vorbis_mono22.ogg

python3 - <<'PY'
import struct

def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")

def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body

def chunks_of(path):
    data = open(path, "rb").read()
    out, at = {}, 12
    while at + 8 <= len(data):
        cid, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        out[cid] = data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    return out

pcm = chunks_of("_tiny.wav")
fmt16 = pcm[b"fmt "][:16]
info = b"INFO" + chunk(b"ISFT", b"Quarnex fixture")
# A LIST chunk between "fmt " and "data": loads.
open("pcm16_list.wav", "wb").write(riff(chunk(b"fmt ", pcm[b"fmt "]), chunk(b"LIST", info), chunk(b"data", pcm[b"data"])))
# A LIST chunk before "fmt ": refused.
open("pcm16_list_first.wav", "wb").write(riff(chunk(b"LIST", info), chunk(b"fmt ", pcm[b"fmt "]), chunk(b"data", pcm[b"data"])))
# A bare 16-byte format chunk whose bits field says 8 for 2 x 2-byte samples.
bare = fmt16[:14] + struct.pack("<H", 8)
open("pcm16_bare_fmt.wav", "wb").write(riff(chunk(b"fmt ", bare), chunk(b"data", pcm[b"data"])))

# MPEG Layer-3 frames in WAVE (tag 0x55): the untagged l3_stereo44.mp3 as the
# data chunk, with the MPEGLAYER3WAVEFORMAT extension.
mp3 = open("l3_stereo44.mp3", "rb").read()
assert mp3[:3] != b"ID3" and mp3[-128:-125] != b"TAG"
frame_bytes = 144 * 96000 // 44100
fmt55 = struct.pack("<HHIIHHH", 0x55, 2, 44100, 96000 // 8, 1, 0, 12) + struct.pack("<HIHHH", 1, 2, frame_bytes, 1, 1393)
open("l3_stereo44_in.wav", "wb").write(riff(chunk(b"fmt ", fmt55), chunk(b"data", mp3)))
PY
rm -f _*.wav
ls -l
