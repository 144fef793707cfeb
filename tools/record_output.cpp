// The recording's file on FFmpeg's libraries: x264 through libavcodec, one muxer, and the sound track's packets.
#include "record_output.h"

#include <algorithm>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

double threadSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

Recording::~Recording() {
  if (format_) {
    if (format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
  }
  avcodec_free_context(&video_);
  sws_freeContext(scaler_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

bool Recording::open(const OutputSettings& settings, const AudioTrack* audio, int64_t audioFrom, std::string* error) {
  settings_ = settings;
  audio_ = audio;
  audioFrom_ = audioFrom;
  const char* path = settings.path.c_str();
  int code = avformat_alloc_output_context2(&format_, nullptr, nullptr, path);
  if (code < 0) {
    *error = "cannot make " + settings.path + ": " + avError(code);
    return false;
  }
  // No version strings, dates or random identifiers: the same run gives the same bytes.
  format_->flags |= AVFMT_FLAG_BITEXACT;

  const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
  if (!h264 || !(video_ = avcodec_alloc_context3(h264))) {
    *error = "this FFmpeg has no x264 encoder";
    return false;
  }
  video_->width = settings.width;
  video_->height = settings.height;
  video_->pix_fmt = AV_PIX_FMT_YUV420P;
  video_->time_base = AVRational{1, settings.fps};
  video_->framerate = AVRational{settings.fps, 1};
  video_->sample_aspect_ratio = AVRational{1, 1};
  video_->gop_size = 2 * settings.fps;  // a key frame every two seconds, for seeking
  video_->color_range = AVCOL_RANGE_MPEG;
  video_->colorspace = AVCOL_SPC_SMPTE170M;
  video_->color_primaries = AVCOL_PRI_SMPTE170M;
  video_->color_trc = AVCOL_TRC_SMPTE170M;
  // x264's output depends on its thread count: one fixed count keeps it the same on every machine. Its own
  // encoding overlaps the drawing, which runs on another thread.
  video_->thread_count = 1;
  video_->flags |= AV_CODEC_FLAG_BITEXACT;
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(video_->priv_data, "preset", settings.preset, 0);
  av_opt_set_double(video_->priv_data, "crf", settings.crf, 0);
  if ((code = avcodec_open2(video_, h264, nullptr)) < 0) {
    *error = "cannot start the x264 encoder: " + avError(code);
    return false;
  }
  videoStream_ = avformat_new_stream(format_, nullptr);
  avcodec_parameters_from_context(videoStream_->codecpar, video_);
  videoStream_->time_base = video_->time_base;
  videoStream_->avg_frame_rate = video_->framerate;

  // The sound track starts with the packet that holds audioFrom, less two before it when the packets are the
  // file's own MP3 frames: a frame's data may begin in the two before it (the bit reservoir). What comes before
  // audioFrom is decoded and dropped: its amount is the track's start skip.
  size_t first = 0;
  while (first < audio->packets.size() &&
         audio->packets[first].start + audio->packets[first].samples <= audioFrom)
    ++first;
  if (audio->copied) first = first >= 2 ? first - 2 : 0;
  nextAudio_ = first;
  audioStream_ = avformat_new_stream(format_, nullptr);
  avcodec_parameters_copy(audioStream_->codecpar, audio->params);
  audioStream_->time_base = AVRational{1, audio->rate};

  const bool shrink = settings.width < sourceWidth;
  scaler_ = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_RGB24, settings.width, settings.height,
                           AV_PIX_FMT_YUV420P, (shrink ? SWS_AREA : SWS_BICUBIC) | SWS_ACCURATE_RND | SWS_BITEXACT,
                           nullptr, nullptr, nullptr);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!scaler_ || !frame_ || !packet_) {
    *error = "out of memory";
    return false;
  }
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = settings.width;
  frame_->height = settings.height;
  if (av_frame_get_buffer(frame_, 0) < 0) {
    *error = "out of memory";
    return false;
  }

  if ((code = avio_open(&format_->pb, path, AVIO_FLAG_WRITE)) < 0) {
    *error = "cannot write " + settings.path + ": " + avError(code);
    return false;
  }
  if ((code = avformat_write_header(format_, nullptr)) < 0) {
    *error = "cannot write " + settings.path + ": " + avError(code);
    return false;
  }
  headerWritten_ = true;
  return true;
}

int64_t Recording::videoEndSample() const { return frames_ * audio_->rate / settings_.fps; }

// Writes the sound track's packets that end by `until` (samples from video time 0); with last, also the one
// that runs past it, cut there.
bool Recording::writeAudio(int64_t until, bool last, std::string* error) {
  const std::vector<AudioPacket>& packets = audio_->packets;
  for (; nextAudio_ < packets.size(); ++nextAudio_) {
    const AudioPacket& source = packets[nextAudio_];
    const int64_t start = source.start - audioFrom_;
    int64_t samples = source.samples;
    if (start + samples > until) {
      if (!last || start >= until) break;
      samples = until - start;
    }
    AVPacket* packet = av_packet_alloc();
    if (!packet || av_new_packet(packet, static_cast<int>(source.data.size())) < 0) {
      av_packet_free(&packet);
      *error = "out of memory";
      return false;
    }
    std::memcpy(packet->data, source.data.data(), source.data.size());
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->stream_index = audioStream_->index;
    packet->pts = packet->dts = start;
    packet->duration = samples;
    // The decoder is told what of the packet is not wanted: the start skip, and the end when cut.
    const int64_t skip = std::max<int64_t>(0, -start), discard = source.samples - samples;
    if (skip > 0 || discard > 0) {
      uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
      if (side) {
        AV_WL32(side, static_cast<uint32_t>(std::min(skip, samples)));
        AV_WL32(side + 4, static_cast<uint32_t>(discard));
        side[8] = side[9] = 0;
      }
    }
    av_packet_rescale_ts(packet, AVRational{1, audio_->rate}, audioStream_->time_base);
    const int code = av_interleaved_write_frame(format_, packet);
    av_packet_free(&packet);
    if (code < 0) {
      *error = "cannot write " + settings_.path + ": " + avError(code);
      return false;
    }
  }
  return true;
}

bool Recording::drain(bool flush, std::string* error) {
  int code = 0;
  if (flush) avcodec_send_frame(video_, nullptr);
  while ((code = avcodec_receive_packet(video_, packet_)) >= 0) {
    av_packet_rescale_ts(packet_, video_->time_base, videoStream_->time_base);
    packet_->stream_index = videoStream_->index;
    if ((code = av_interleaved_write_frame(format_, packet_)) < 0) {
      *error = "cannot write " + settings_.path + ": " + avError(code);
      return false;
    }
  }
  if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) {
    *error = "the x264 encoder failed: " + avError(code);
    return false;
  }
  return true;
}

bool Recording::addFrame(const uint8_t* rgb, std::string* error) {
  if (av_frame_make_writable(frame_) < 0) {
    *error = "out of memory";
    return false;
  }
  const double started = threadSeconds();
  const uint8_t* planes[1] = {rgb};
  const int strides[1] = {sourceWidth * 3};
  sws_scale(scaler_, planes, strides, 0, sourceHeight, frame_->data, frame_->linesize);
  const double converted = threadSeconds();
  convertSeconds_ += converted - started;
  frame_->pts = frames_++;
  const int code = avcodec_send_frame(video_, frame_);
  if (code < 0) {
    *error = "the x264 encoder failed: " + avError(code);
    return false;
  }
  const bool ok = writeAudio(videoEndSample(), false, error) && drain(false, error);
  encodeSeconds_ += threadSeconds() - converted;
  return ok;
}

bool Recording::finish(std::string* error) {
  if (finished_) return true;
  finished_ = true;
  if (!headerWritten_) return false;
  const int64_t end = std::min(videoEndSample(), audio_->musicSamples - audioFrom_);
  const double started = threadSeconds();
  const bool ok = drain(true, error) && writeAudio(end, true, error);
  encodeSeconds_ += threadSeconds() - started;
  if (!ok) return false;
  int code = av_write_trailer(format_);
  if (code >= 0) code = avio_closep(&format_->pb);
  if (code < 0) {
    *error = "cannot write " + settings_.path + ": " + avError(code);
    return false;
  }
  return true;
}
