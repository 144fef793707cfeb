// The recording's sound track: the music's own MP3 packets, or the music as the demo plays it encoded as AAC.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct AVCodecParameters;
struct MusicFileInfo;

// One coded packet. Positions count sample frames of the music as the demo plays it (0 is its first gapless
// sample): a packet may start before 0 by the encoder's delay, which the decoder's output drops.
struct AudioPacket {
  std::vector<uint8_t> data;
  int64_t start = 0;
  int64_t samples = 0;
};

struct AudioTrack {
  AVCodecParameters* params = nullptr;  // owned
  int rate = 0;
  int64_t musicSamples = 0;  // the music's length as the demo plays it
  bool copied = false;       // the file's own MP3 packets, not encoded here
  std::vector<AudioPacket> packets;  // in order
  ~AudioTrack();
};

// Reads the MP3 packets of the file at path as they are, with their positions after the gapless lead.
bool loadMp3Track(const char* path, AudioTrack* track, std::string* error);

// Decodes the music of a file held in memory to interleaved 16-bit PCM, as the demo's sound core does
// (the MP3 decoder's lead and padding cut off). *rate and *channels are the music's own.
bool decodeMusic(const MusicFileInfo& info, const uint8_t* file, std::vector<int16_t>* pcm, int* rate, int* channels,
                 std::string* error);

// Encodes frames [from, to) of the interleaved PCM as AAC (FFmpeg's own encoder); packet positions count
// from the start of the music, so the first starts at from less the encoder's delay.
bool encodeAacTrack(const std::vector<int16_t>& pcm, int rate, int channels, int64_t from, int64_t to,
                    AudioTrack* track, std::string* error);

// FFmpeg's text for one of its error codes.
std::string avError(int code);
