// The recording's file: frames encoded as H.264 beside the sound track, in MP4 or Matroska.
#pragma once
#include <cstdint>
#include <string>

#include "record_audio.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

struct OutputSettings {
  std::string path;  // .mp4 or .mkv
  int fps = 60;
  int width = 1024, height = 768;
  int crf = 20;
  const char* preset = "veryfast";
};

// Frame size the scenes are drawn at.
constexpr int sourceWidth = 1024, sourceHeight = 768;

class Recording {
 public:
  ~Recording();
  // Creates the file with the video stream and the sound track from music frame audioFrom on (video time 0).
  bool open(const OutputSettings& settings, const AudioTrack* audio, int64_t audioFrom, std::string* error);
  // Adds the next frame: sourceWidth x sourceHeight RGB, top row first.
  bool addFrame(const uint8_t* rgb, std::string* error);
  // Ends the streams where the video ends (the sound no later than the music) and completes the file.
  bool finish(std::string* error);
  int64_t framesAdded() const { return frames_; }
  // Processor seconds of the calling thread spent converting pictures to YUV, and in x264 and the muxer.
  double convertSeconds() const { return convertSeconds_; }
  double encodeSeconds() const { return encodeSeconds_; }

 private:
  bool drain(bool flush, std::string* error);
  bool writeAudio(int64_t until, bool last, std::string* error);
  int64_t videoEndSample() const;

  OutputSettings settings_;
  const AudioTrack* audio_ = nullptr;
  int64_t audioFrom_ = 0;
  size_t nextAudio_ = 0;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  SwsContext* scaler_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t frames_ = 0;
  double convertSeconds_ = 0, encodeSeconds_ = 0;
  bool headerWritten_ = false;
  bool finished_ = false;
};
