// An MP3 decoder fed with bytes: 16-bit PCM out, and what of it the stream says to cut off.
#pragma once
#include <cstddef>
#include <cstdint>

struct Mp3Decoder;

enum class Mp3Result {
  frames,    // frames were read (or the format became known)
  needMore,  // everything fed so far is decoded: feed more, or end the stream
  done,      // the stream has ended and everything is read
  failed,    // the data cannot be decoded
};

// A decoder for one stream; null when the system has none. Its first bytes may also start at a frame inside a
// stream, for playing from there: it then gives out every frame it is fed, the first one included, as one frame
// of samples each (what it cannot make for want of the frames before is silence or noise, never missing), and
// cuts nothing off; what mp3Trim says is then of no use.
Mp3Decoder* mp3Open();
// Gives the decoder the next bytes of the stream; a null or empty feed says the stream has ended.
bool mp3Feed(Mp3Decoder* decoder, const uint8_t* bytes, size_t size);
// Reads up to maxFrames interleaved frames into out (room for maxFrames * 2 samples); *frames says how many.
// All frames of one read are in one format, the one mp3Format gives after that read.
Mp3Result mp3Read(Mp3Decoder* decoder, int16_t* out, uint32_t maxFrames, uint32_t* frames);
// The decoded format, once the first frame has been read; false before. A stream joined from files of other
// rates or channels changes it between reads: the read that tells of a change returns `frames` with no frames
// (frames of the old format read before the change come out in an earlier read), and the caller converts what
// follows from the new format. A decoder that cannot follow a change returns `failed` there instead, never
// frames of the new format under the old one.
bool mp3Format(Mp3Decoder* decoder, int* rate, int* channels);
// Frames of the decoder's output that are not music, once the first frame has been read: the lead before the
// first sample of the stream (Info frame, encoder delay, decoder delay) and the padding at its end. Read once,
// at the first format; a later change of format is not trimmed again. A decoder that cuts them off itself
// (libmpg123, by the Info frame as mp3CodecTrim reads it) says 0 for both.
void mp3Trim(Mp3Decoder* decoder, uint32_t* lead, uint32_t* padding);
void mp3Close(Mp3Decoder* decoder);
