// The recording's sound track: MP3 packets copied from the music file, or its decoded music encoded as AAC.
#include "record_audio.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

#include "music/markers.h"
#include "platform/mp3_decoder.h"

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

AudioTrack::~AudioTrack() { avcodec_parameters_free(&params); }

bool loadMp3Track(const char* path, AudioTrack* track, std::string* error) {
  AVFormatContext* input = nullptr;
  int code = avformat_open_input(&input, path, av_find_input_format("mp3"), nullptr);
  if (code < 0) {
    *error = std::string("cannot read ") + path + ": " + avError(code);
    return false;
  }
  const int index = avformat_find_stream_info(input, nullptr) >= 0
                        ? av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                        : -1;
  if (index < 0 || input->streams[index]->codecpar->sample_rate <= 0) {
    avformat_close_input(&input);
    *error = std::string(path) + " holds no MP3 stream";
    return false;
  }
  const AVStream* stream = input->streams[index];
  track->rate = stream->codecpar->sample_rate;
  track->params = avcodec_parameters_alloc();
  avcodec_parameters_copy(track->params, stream->codecpar);
  track->params->codec_tag = 0;
  track->copied = true;
  track->packets.clear();

  // The demuxer marks the gapless lead (Info frame aside, the encoder's and decoder's delay) on the first packets
  // and the padding on the last: what is left between them is what the demo hears.
  AVPacket* packet = av_packet_alloc();
  int64_t position = 0, lead = 0, padding = 0;
  while ((code = av_read_frame(input, packet)) >= 0) {
    if (packet->stream_index == index && packet->size > 0) {
      int64_t samples = av_rescale_q(packet->duration, stream->time_base, AVRational{1, track->rate});
      if (samples <= 0) samples = av_get_audio_frame_duration2(stream->codecpar, packet->size);
      size_t sideSize = 0;
      const uint8_t* side = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &sideSize);
      if (side && sideSize >= 8) {
        lead += AV_RL32(side);
        padding += AV_RL32(side + 4);
      }
      track->packets.push_back({std::vector<uint8_t>(packet->data, packet->data + packet->size), position, samples});
      position += samples;
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&input);
  if (code != AVERROR_EOF || track->packets.empty()) {
    *error = std::string("cannot read the MP3 stream of ") + path + (code != AVERROR_EOF ? ": " + avError(code) : "");
    return false;
  }
  for (AudioPacket& p : track->packets) p.start -= lead;
  track->musicSamples = std::max<int64_t>(0, position - lead - padding);
  return true;
}

bool decodeMusic(const MusicFileInfo& info, const uint8_t* file, std::vector<int16_t>* pcm, int* rate, int* channels,
                 std::string* error) {
  pcm->clear();
  const uint8_t* payload = file + info.audioOffset;
  if (info.codec == MusicCodec::pcm16) {
    *rate = static_cast<int>(info.sampleRate);
    *channels = info.channels;
    if (*channels < 1 || *rate < 1) {
      *error = "the music's format is not one this tool reads";
      return false;
    }
    const size_t samples = info.audioSize / 2 / *channels * *channels;
    pcm->resize(samples);
    for (size_t i = 0; i < samples; ++i) (*pcm)[i] = static_cast<int16_t>(AV_RL16(payload + 2 * i));
    return true;
  }
  Mp3Decoder* decoder = mp3Open();
  if (!decoder) {
    *error = "no MP3 decoder";
    return false;
  }
  constexpr uint32_t block = 4608;
  std::vector<int16_t> decoded(block * 2);
  uint64_t readAt = 0;
  uint32_t lead = 0, padding = 0;
  bool known = false, ok = true;
  for (bool done = false; !done && ok;) {
    uint32_t frames = 0;
    switch (mp3Read(decoder, decoded.data(), block, &frames)) {
      case Mp3Result::frames:
        if (!known && mp3Format(decoder, rate, channels)) {
          known = true;
          mp3Trim(decoder, &lead, &padding);
        }
        pcm->insert(pcm->end(), decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(frames) * *channels);
        break;
      case Mp3Result::needMore: {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(info.audioSize - readAt, 1 << 16));
        ok = mp3Feed(decoder, n > 0 ? payload + readAt : nullptr, n);
        readAt += n;
        break;
      }
      case Mp3Result::done:
        done = true;
        break;
      case Mp3Result::failed:
        ok = false;
        break;
    }
  }
  mp3Close(decoder);
  if (!ok || !known) {
    *error = "the music cannot be decoded";
    return false;
  }
  const size_t frames = pcm->size() / *channels;
  const size_t keep = frames > static_cast<size_t>(lead) + padding ? frames - lead - padding : 0;
  pcm->erase(pcm->begin(), pcm->begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(frames, lead)) * *channels);
  pcm->resize(keep * *channels);
  return true;
}

bool encodeAacTrack(const std::vector<int16_t>& pcm, int rate, int channels, int64_t from, int64_t to,
                    AudioTrack* track, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!context) {
    *error = "this FFmpeg has no AAC encoder";
    return false;
  }
  context->sample_fmt = AV_SAMPLE_FMT_FLTP;
  context->sample_rate = rate;
  av_channel_layout_default(&context->ch_layout, channels);
  context->bit_rate = 96000 * channels;
  context->time_base = AVRational{1, rate};
  // Both containers keep the decoder's set-up in the track header.
  context->flags |= AV_CODEC_FLAG_BITEXACT | AV_CODEC_FLAG_GLOBAL_HEADER;
  int code = avcodec_open2(context, codec, nullptr);
  if (code < 0) {
    avcodec_free_context(&context);
    *error = "cannot start the AAC encoder: " + avError(code);
    return false;
  }
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  track->rate = rate;
  track->copied = false;
  track->packets.clear();
  const int64_t music = static_cast<int64_t>(pcm.size() / channels);
  track->musicSamples = music;
  to = std::min(to, music);
  auto drain = [&]() {
    while ((code = avcodec_receive_packet(context, packet)) >= 0) {
      track->packets.push_back(
          {std::vector<uint8_t>(packet->data, packet->data + packet->size), packet->pts + from, packet->duration});
      av_packet_unref(packet);
    }
    return code == AVERROR(EAGAIN) || code == AVERROR_EOF;
  };
  bool ok = true;
  for (int64_t at = from; at < to && ok; at += context->frame_size) {
    const int n = static_cast<int>(std::min<int64_t>(context->frame_size, to - at));
    frame->nb_samples = n;
    frame->format = context->sample_fmt;
    frame->sample_rate = rate;
    av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
    ok = av_frame_get_buffer(frame, 0) >= 0;
    if (!ok) break;
    for (int c = 0; c < channels; ++c) {
      float* out = reinterpret_cast<float*>(frame->extended_data[c]);
      const int16_t* in = pcm.data() + at * channels + c;
      for (int i = 0; i < n; ++i) out[i] = static_cast<float>(in[static_cast<ptrdiff_t>(i) * channels]) / 32768.0f;
    }
    frame->pts = at - from;
    ok = avcodec_send_frame(context, frame) >= 0 && drain();
    av_frame_unref(frame);
  }
  ok = ok && avcodec_send_frame(context, nullptr) >= 0 && drain();
  if (ok) {
    track->params = avcodec_parameters_alloc();
    avcodec_parameters_from_context(track->params, context);
  } else {
    *error = "the AAC encoder failed";
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
  return ok;
}
