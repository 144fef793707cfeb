// MP3 frame headers and the LAME tag's gapless numbers, for a decoder whose codec reads neither (ACM).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct Mp3Frame {
  bool mpeg1 = false;
  int rate = 0;
  int channels = 0;
  int bitrate = 0;        // bits per second
  size_t length = 0;      // bytes of the whole frame
  size_t sideInfo = 0;    // bytes between the header (and its CRC) and the main data
  bool crc = false;
  uint32_t samples = 0;   // per channel
};

// Reads the 4-byte header of a layer III frame at bytes; false for anything else.
bool mp3ReadFrame(const uint8_t* bytes, Mp3Frame* frame);

// Whether the frame (frame.length bytes at bytes, read into frame) is an Info or Xing frame: one frame of silence
// that carries the stream's frame count and, in the LAME tag after it, the encoder's delay and padding.
bool mp3InfoFrame(const uint8_t* bytes, const Mp3Frame& frame);

// What a codec that decodes every frame it is given, the first one included, puts around the music: the lead
// before its first sample and the padding after its last. first points at the stream's first frame
// (frame.length bytes), read into frame. An Info frame there decodes to a frame of silence, the LAME tag in it
// gives the encoder's delay and padding, and the layer III synthesis filter bank delays everything by 529
// samples, which it takes back out of the padding.
void mp3CodecTrim(const uint8_t* first, const Mp3Frame& frame, uint32_t* lead, uint32_t* padding);

// How far the frames from `at`, the start of a frame in bytes[0, size), keep the rate and channels of `format`:
// the offset up to which that is known (where the first frame not yet wholly there starts, or size once the
// stream has ended). Where a frame of another rate or channels comes, *changed is that frame's header and the
// offset is where the bytes before it begin; otherwise changed->rate is 0. Bytes that are no frame (a tag
// between joined files, junk) are stepped over to the next header that the one after it confirms, and go
// with the frame after them.
size_t mp3FormatHoldsUntil(const uint8_t* bytes, size_t size, size_t at, const Mp3Frame& format, bool ended,
                           Mp3Frame* changed);

// Decoded bytes waiting to be read, handed out in whole frames: a part of a frame waits for the rest.
struct PcmBytes {
  std::vector<uint8_t> bytes;
  size_t at = 0;  // bytes before this have been read
};
void pcmAppend(PcmBytes* pcm, const uint8_t* bytes, size_t size);
// Takes up to maxFrames whole frames of frameBytes into out; how many.
uint32_t pcmTake(PcmBytes* pcm, uint8_t* out, uint32_t maxFrames, size_t frameBytes);

// What a decoder that reads whole frames out of its codec's output does next: hand frames out, have the codec
// convert more (less than one frame is waiting), or say the stream is done (the codec has flushed its last,
// and a part of a frame left then is no sound).
enum class PcmNext { read, convert, done };
PcmNext pcmNext(const PcmBytes& pcm, size_t frameBytes, bool flushed);
