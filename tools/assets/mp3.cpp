// LAME with fixed settings (no ID3 of its own, Info tag rewritten at the end) and a hand-built ID3v2.3 tag.
#include "mp3.h"

#include <lame.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "platform/code_page.h"

namespace mp3 {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void putString(std::vector<uint8_t>& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

// A v2.3 frame: id, plain 32-bit big-endian size, two zero flag bytes, body.
void putFrame(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  put32(out, static_cast<uint32_t>(body.size()));
  out.push_back(0);
  out.push_back(0);
  out.insert(out.end(), body.begin(), body.end());
}

// Text frame with a terminating zero, as ffmpeg writes it: ISO-8859-1 (encoding 0) when the code page 1252 bytes
// mean the same there, else UTF-16 with a byte-order mark (encoding 1).
std::vector<uint8_t> textBody(const std::string& text) {
  const bool latin1 = std::none_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<uint8_t>(c);
    return b >= 0x80 && b < 0xA0;
  });
  if (latin1) {
    std::vector<uint8_t> body{0};
    putString(body, text);
    return body;
  }
  std::vector<uint8_t> body{1, 0xFF, 0xFE};
  for (char c : text) {
    const auto b = static_cast<uint8_t>(c);
    const uint32_t u = cp1252ToUnicode(b);
    body.push_back(static_cast<uint8_t>(u & 0xFF));
    body.push_back(static_cast<uint8_t>(u >> 8));
  }
  body.push_back(0);
  body.push_back(0);
  return body;
}

}  // namespace

std::vector<uint8_t> id3Tag(const std::vector<std::pair<std::string, std::string>>& texts, const std::vector<Chapter>& chapters) {
  std::vector<uint8_t> frames;
  for (const auto& [id, text] : texts) putFrame(frames, id.c_str(), textBody(text));
  if (!chapters.empty()) {
    std::vector<uint8_t> toc;
    putString(toc, "toc");
    toc.push_back(0x03);  // top-level, ordered
    toc.push_back(static_cast<uint8_t>(chapters.size()));
    for (size_t i = 0; i < chapters.size(); ++i) putString(toc, "ch" + std::to_string(i));
    putFrame(frames, "CTOC", toc);
  }
  for (size_t i = 0; i < chapters.size(); ++i) {
    std::vector<uint8_t> chap;
    putString(chap, "ch" + std::to_string(i));
    put32(chap, chapters[i].startMs);
    put32(chap, chapters[i].endMs);
    put32(chap, 0xFFFFFFFFu);  // no byte offsets: times only
    put32(chap, 0xFFFFFFFFu);
    putFrame(chap, "TIT2", textBody(chapters[i].title));
    putFrame(frames, "CHAP", chap);
  }
  std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
  const uint32_t size = static_cast<uint32_t>(frames.size());
  for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));  // syncsafe
  tag.insert(tag.end(), frames.begin(), frames.end());
  return tag;
}

std::vector<uint8_t> encode(const std::vector<float>& l, const std::vector<float>& r) {
  std::unique_ptr<lame_global_flags, int (*)(lame_global_flags*)> gf(lame_init(), lame_close);
  if (!gf) throw std::runtime_error("lame_init failed");
  lame_set_in_samplerate(gf.get(), 44100);
  lame_set_out_samplerate(gf.get(), 44100);
  const bool mono = r.empty();
  lame_set_num_channels(gf.get(), mono ? 1 : 2);
  lame_set_mode(gf.get(), mono ? MONO : JOINT_STEREO);
  lame_set_VBR(gf.get(), vbr_off);
  lame_set_brate(gf.get(), 192);
  lame_set_quality(gf.get(), 5);
  lame_set_bWriteVbrTag(gf.get(), 1);          // the Info frame carries encoder delay and padding for gapless decoders
  lame_set_write_id3tag_automatic(gf.get(), 0);  // our own tag goes in front
  if (lame_init_params(gf.get()) < 0) throw std::runtime_error("lame_init_params failed");

  std::vector<uint8_t> out;
  const int chunk = 1152 * 32;
  std::vector<uint8_t> buf(static_cast<size_t>(chunk) * 5 / 4 + 7200);
  const size_t n = mono ? l.size() : std::min(l.size(), r.size());
  const float* right = mono ? l.data() : r.data();  // not read in mono
  for (size_t at = 0; at < n; at += chunk) {
    const int count = static_cast<int>(std::min<size_t>(chunk, n - at));
    const int made = lame_encode_buffer_ieee_float(gf.get(), l.data() + at, right + at, count, buf.data(), static_cast<int>(buf.size()));
    if (made < 0) throw std::runtime_error("lame_encode_buffer_ieee_float failed");
    out.insert(out.end(), buf.begin(), buf.begin() + made);
  }
  const int made = lame_encode_flush(gf.get(), buf.data(), static_cast<int>(buf.size()));
  if (made < 0) throw std::runtime_error("lame_encode_flush failed");
  out.insert(out.end(), buf.begin(), buf.begin() + made);

  // The first frame was a placeholder; the finished Info frame has the same size and replaces it.
  std::vector<uint8_t> tag(8192);
  const size_t tagSize = lame_get_lametag_frame(gf.get(), tag.data(), tag.size());
  if (tagSize == 0 || tagSize > out.size()) throw std::runtime_error("lame_get_lametag_frame failed");
  std::copy(tag.begin(), tag.begin() + static_cast<std::ptrdiff_t>(tagSize), out.begin());
  return out;
}

}  // namespace mp3
