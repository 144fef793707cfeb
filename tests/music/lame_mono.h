// Mono MP3 at a rate of our choice through LAME, with its Info frame (the assets' encoder makes 44.1 kHz only).
#pragma once
#include <lame.h>

#include <string>
#include <vector>

inline std::string lameMono(int rate, int kbps, const std::vector<float>& samples) {
  lame_global_flags* gf = lame_init();
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_num_channels(gf, 1);
  lame_set_mode(gf, MONO);
  lame_set_brate(gf, kbps);  // 64 kbit/s leaves room for the Info frame, which LAME's 32 kbit/s lacks
  lame_set_write_id3tag_automatic(gf, 0);
  lame_init_params(gf);
  std::vector<unsigned char> out(samples.size() * 2 + 16384);
  int made = lame_encode_buffer_ieee_float(gf, samples.data(), samples.data(), static_cast<int>(samples.size()),
                                           out.data(), static_cast<int>(out.size()));
  made += lame_encode_flush(gf, out.data() + made, static_cast<int>(out.size()) - made);
  lame_get_lametag_frame(gf, out.data(), out.size());  // the finished Info frame over its placeholder
  lame_close(gf);
  return std::string(out.begin(), out.begin() + made);
}
