// Sync markers read from RIFF/WAVE cue lists and from ID3v2 chapters or synced lyrics at the start of an MP3.
#include "music/markers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// The reader never trusts a size from the file: every size is compared with the bytes left in its region before
// anything is read, and positions only move forward by amounts already checked to fit.

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
bool isSynchsafe(const uint8_t* p) { return ((p[0] | p[1] | p[2] | p[3]) & 0x80) == 0; }
uint32_t synchsafe(const uint8_t* p) {
  return uint32_t(p[0] & 0x7f) << 21 | uint32_t(p[1] & 0x7f) << 14 | uint32_t(p[2] & 0x7f) << 7 | uint32_t(p[3] & 0x7f);
}

bool fail(MusicFileInfo* info, std::string* error, const char* reason) {
  *info = MusicFileInfo{};
  if (error) *error = reason;
  return false;
}

// Length of the name in p[0..n): up to the first NUL, or all of it when there is none.
size_t nameLength(const uint8_t* p, size_t n) {
  const void* nul = n ? std::memchr(p, 0, n) : nullptr;
  return nul ? size_t(static_cast<const uint8_t*>(nul) - p) : n;
}

void sortMarkers(std::vector<Marker>* markers) {
  std::stable_sort(markers->begin(), markers->end(),
                   [](const Marker& a, const Marker& b) { return a.sample < b.sample; });
}

// ---- Text: ID3v2 encodings to code page 1252 ----

void appendUnicode(uint32_t c, std::string* out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out->push_back(char(c));
    return;
  }
  for (uint32_t b = 0x80; b < 0xA0; ++b) {
    if (cp1252ToUnicode(uint8_t(b)) == c) {
      out->push_back(char(b));
      return;
    }
  }
  out->push_back('?');
}

enum : uint8_t { kUtf16 = 1, kUtf16Be = 2, kUtf8 = 3 };

// Appends one string in ID3v2 text encoding enc from p[0..n) to out, in code page 1252, up to its terminator.
// Returns the bytes used, terminator included; *terminated says whether there was one.
size_t readId3String(uint8_t enc, const uint8_t* p, size_t n, std::string* out, bool* terminated) {
  *terminated = false;
  if (n == 0) return 0;
  if (enc == kUtf16 || enc == kUtf16Be) {
    // Without a byte-order mark, encoding 1 is taken as little-endian, which is what Windows taggers mean.
    bool bigEndian = enc == kUtf16Be;
    size_t i = 0;
    if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
      bigEndian = p[0] == 0xFE;
      i = 2;
    }
    while (n - i >= 2) {
      uint32_t u = bigEndian ? be16(p + i) : le16(p + i);
      i += 2;
      if (u == 0) {
        *terminated = true;
        return i;
      }
      if (u >= 0xD800 && u < 0xDC00 && n - i >= 2) {
        uint32_t low = bigEndian ? be16(p + i) : le16(p + i);
        if (low >= 0xDC00 && low < 0xE000) {
          u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      appendUnicode(u, out);  // a lone surrogate is outside the code page like any other
    }
    return n;  // an odd last byte is half a character
  }
  if (enc == kUtf8) {
    static constexpr uint32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
    size_t i = (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) ? 3 : 0;
    while (i < n) {
      uint8_t b = p[i];
      if (b == 0) {
        *terminated = true;
        return i + 1;
      }
      if (b < 0x80) {
        out->push_back(char(b));
        ++i;
        continue;
      }
      size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
      uint32_t c = b & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
      bool ok = len != 0 && n - i >= len;
      for (size_t k = 1; ok && k < len; ++k) {
        ok = (p[i + k] & 0xC0) == 0x80;
        c = c << 6 | (p[i + k] & 0x3F);
      }
      if (ok && c >= kShortest[len] && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000)) {
        appendUnicode(c, out);
        i += len;
      } else {
        out->push_back('?');  // one mark per byte that does not start a well-formed sequence
        ++i;
      }
    }
    return n;
  }
  // ISO-8859-1 (and encodings we do not know) byte for byte: Windows taggers write code page 1252 under this label,
  // so 0x80-0x9F are kept as the code page's characters rather than turned into '?'.
  size_t len = nameLength(p, n);
  out->append(reinterpret_cast<const char*>(p), len);
  if (len == n) return n;
  *terminated = true;
  return len + 1;
}

// ---- ID3v2 ----

struct Id3Header {
  uint8_t major;
  uint8_t flags;
  uint32_t size;  // the bytes after the header: extended header, frames, padding
};

bool readId3Header(const uint8_t* p, size_t n, Id3Header* h) {
  if (n < 10 || std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF || !isSynchsafe(p + 6)) return false;
  h->major = p[3];
  h->flags = p[5];
  h->size = synchsafe(p + 6);
  return true;
}

// Undoes unsynchronisation: every 0xFF 0x00 pair becomes 0xFF.
void removeUnsync(const uint8_t* p, size_t n, std::vector<uint8_t>* out) {
  out->clear();
  out->reserve(n);
  for (size_t i = 0; i < n; ++i) {
    out->push_back(p[i]);
    if (p[i] == 0xFF && i + 1 < n && p[i + 1] == 0) ++i;
  }
}

bool isFrameId(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= '0' && p[i] <= '9'))) return false;
  }
  return true;
}

// Whether a version 2.4 frame header could start at pos of p[0..n): an ID, a size that fits under either reading,
// and no undefined flag bits. Text such as "MMMM" in a title must not pass for a header.
bool looksLikeFrame(const uint8_t* p, size_t n, size_t pos) {
  if (n - pos < 10 || !isFrameId(p + pos) || (p[pos + 8] & 0x8F) != 0 || (p[pos + 9] & 0xB0) != 0) return false;
  size_t left = n - pos - 10;
  return be32(p + pos + 4) <= left || (isSynchsafe(p + pos + 4) && synchsafe(p + pos + 4) <= left);
}

// How well a frame ending at pos fits the region p[0..n), pos <= n: 2 at the region's end or before another frame
// header, 1 before padding, 0 otherwise.
int boundaryScore(const uint8_t* p, size_t n, size_t pos) {
  if (pos == n || looksLikeFrame(p, n, pos)) return 2;
  size_t look = std::min<size_t>(n - pos, 16);
  for (size_t i = 0; i < look; ++i) {
    if (p[pos + i] != 0) return 0;
  }
  return 1;
}

// Size of the frame whose header is at pos (10 header bytes known to be there). Version 2.4 sizes are synchsafe,
// but ffmpeg writes plain 32-bit sizes in its CHAP frames; when the two readings differ the one that ends on a
// frame boundary wins, the synchsafe one on a tie.
uint64_t frameSize(const uint8_t* p, size_t n, size_t pos, uint8_t major) {
  const uint8_t* raw = p + pos + 4;
  uint32_t plain = be32(raw);
  if (major == 3 || !isSynchsafe(raw)) return plain;
  uint32_t safe = synchsafe(raw);
  if (safe == plain) return safe;
  size_t left = n - pos - 10;
  int safeScore = safe <= left ? boundaryScore(p, n, pos + 10 + safe) : -1;
  int plainScore = plain <= left ? boundaryScore(p, n, pos + 10 + plain) : -1;
  return plainScore > safeScore ? plain : safe;
}

struct Id3Frame {
  const uint8_t* id;  // four characters
  uint16_t flags;
  const uint8_t* data;
  size_t size;
};

// The frame at *pos of p[0..n), and *pos moved past it. False at the end of the frames: the region's end, padding,
// garbage, or a frame larger than what is left.
bool nextFrame(const uint8_t* p, size_t n, uint8_t major, size_t* pos, Id3Frame* frame) {
  size_t at = *pos;
  if (at > n || n - at < 10 || !isFrameId(p + at)) return false;
  uint64_t size = frameSize(p, n, at, major);
  if (size > n - at - 10) return false;
  frame->id = p + at;
  frame->flags = be16(p + at + 8);
  frame->data = p + at + 10;
  frame->size = size_t(size);
  *pos = at + 10 + size_t(size);
  return true;
}

// The content of a frame with its format flags undone; it may be left in scratch. False for compressed or
// encrypted frames, which hold nothing we need.
bool frameContent(const Id3Frame& f, uint8_t major, bool unsync, std::vector<uint8_t>* scratch, const uint8_t** data,
                  size_t* size) {
  const uint8_t* d = f.data;
  size_t s = f.size;
  uint8_t format = uint8_t(f.flags);
  size_t skip = 0;
  if (major == 3) {
    if (format & 0xC0) return false;
    if (format & 0x20) skip += 1;  // group id
  } else {
    if (format & 0x0C) return false;
    if (format & 0x40) skip += 1;  // group id
    if (format & 0x01) skip += 4;  // data length indicator
    if (format & 0x02) unsync = true;
  }
  if (skip > s) return false;
  d += skip;
  s -= skip;
  if (unsync) {
    removeUnsync(d, s, scratch);
    d = scratch->data();
    s = scratch->size();
  }
  *data = d;
  *size = s;
  return true;
}

// A marker as the tag gives it, before the stream's sample rate is known.
struct TagMarker {
  uint64_t time;  // milliseconds, or MPEG frames for SYLT timestamp format 1
  std::string name;
};

struct TagMarkers {
  std::vector<TagMarker> chapters;
  std::vector<TagMarker> lyrics;  // of the first SYLT frame with a timestamp format we know
  bool haveLyrics = false;
  bool lyricsInFrames = false;
};

// CHAP: element ID, start and end time (ms), start and end byte offset, then sub-frames. Only the start time is
// used; the byte offsets would need a walk over the frames and every writer we know fills in the times.
void readChapter(const uint8_t* d, size_t s, uint8_t major, TagMarkers* out) {
  size_t idLength = nameLength(d, s);
  if (idLength == s || s - idLength - 1 < 16) return;  // no terminated element ID, or no times after it
  size_t at = idLength + 1;
  TagMarker m;
  m.time = be32(d + at);
  at += 16;
  bool titled = false;
  std::vector<uint8_t> scratch;
  Id3Frame f;
  while (!titled && nextFrame(d, s, major, &at, &f)) {
    const uint8_t* text;
    size_t n;
    if (std::memcmp(f.id, "TIT2", 4) != 0 || !frameContent(f, major, false, &scratch, &text, &n) || n < 1) continue;
    bool terminated;
    readId3String(text[0], text + 1, n - 1, &m.name, &terminated);
    titled = true;
  }
  if (!titled) m.name.assign(reinterpret_cast<const char*>(d), idLength);
  out->chapters.push_back(std::move(m));
}

// SYLT: encoding, language, timestamp format, content type, descriptor, then (text, 32-bit time) pairs.
void readSyncedLyrics(const uint8_t* d, size_t s, TagMarkers* out) {
  if (out->haveLyrics || s < 6 || (d[4] != 1 && d[4] != 2)) return;
  uint8_t enc = d[0];
  std::string descriptor;
  bool terminated;
  size_t at = 6 + readId3String(enc, d + 6, s - 6, &descriptor, &terminated);
  if (!terminated) return;
  out->haveLyrics = true;
  out->lyricsInFrames = d[4] == 1;
  while (at < s) {
    TagMarker m;
    at += readId3String(enc, d + at, s - at, &m.name, &terminated);
    if (!terminated || s - at < 4) break;
    m.time = be32(d + at);
    at += 4;
    out->lyrics.push_back(std::move(m));
  }
}

// Reads the CHAP and SYLT frames of a version 2.3 or 2.4 tag; body[0..n) is what follows its header.
void readId3Tag(const uint8_t* body, size_t n, const Id3Header& h, TagMarkers* out) {
  std::vector<uint8_t> whole;
  bool unsync = (h.flags & 0x80) != 0;
  if (h.major == 3 && unsync) {  // in 2.3 the whole tag is unsynchronised, in 2.4 each frame
    removeUnsync(body, n, &whole);
    body = whole.data();
    n = whole.size();
    unsync = false;
  }
  size_t at = 0;
  if (h.flags & 0x40) {  // extended header: nothing we need, skipped
    if (n < 4) return;
    uint64_t length = h.major == 3 ? uint64_t(be32(body)) + 4 : synchsafe(body);
    if (length > n) return;
    at = size_t(length);
  }
  std::vector<uint8_t> scratch;
  Id3Frame f;
  while (nextFrame(body, n, h.major, &at, &f)) {
    bool chapter = std::memcmp(f.id, "CHAP", 4) == 0;
    if (!chapter && std::memcmp(f.id, "SYLT", 4) != 0) continue;
    const uint8_t* d;
    size_t s;
    if (!frameContent(f, h.major, unsync, &scratch, &d, &s)) continue;
    if (chapter) {
      readChapter(d, s, h.major, out);
    } else {
      readSyncedLyrics(d, s, out);
    }
  }
}

// ---- MPEG audio ----

struct MpegFrame {
  uint8_t version;  // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
  uint16_t channels;
  uint32_t sampleRate;
  uint32_t samplesPerFrame;
  uint32_t bytes;
};

// A Layer III frame header (4 bytes known to be readable). Free-format streams are not recognised.
bool readMpegHeader(const uint8_t* h, MpegFrame* f) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  uint8_t version = (h[1] >> 3) & 3;
  uint8_t layer = (h[1] >> 1) & 3;
  uint8_t bitrateIndex = h[2] >> 4;
  uint8_t rateIndex = (h[2] >> 2) & 3;
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || (h[3] & 3) == 2) {
    return false;
  }
  static constexpr uint16_t kKbitMpeg1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr uint16_t kKbitMpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static constexpr uint32_t kRate[3] = {44100, 48000, 32000};
  bool mpeg1 = version == 3;
  f->version = version;
  f->channels = (h[3] >> 6) == 3 ? 1 : 2;
  f->sampleRate = kRate[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  f->samplesPerFrame = mpeg1 ? 1152 : 576;
  uint32_t bitrate = (mpeg1 ? kKbitMpeg1 : kKbitMpeg2)[bitrateIndex] * 1000u;
  f->bytes = (mpeg1 ? 144 : 72) * bitrate / f->sampleRate + ((h[2] >> 1) & 1);
  return true;
}

// The first Layer III frame at or after from whose successor, when the file holds one, agrees with it; *at says
// where it starts. With anywhere false the frame must start at from.
bool findMpegFrame(const uint8_t* p, size_t n, size_t from, bool anywhere, MpegFrame* f, size_t* at) {
  for (size_t i = from; i < n && n - i >= 4; ++i) {
    if (readMpegHeader(p + i, f)) {
      size_t next = i + f->bytes;
      MpegFrame g;
      if (next >= n || n - next < 4 ||
          (readMpegHeader(p + next, &g) && g.version == f->version && g.sampleRate == f->sampleRate &&
           g.channels == f->channels)) {
        *at = i;
        return true;
      }
    }
    if (!anywhere) return false;
  }
  return false;
}

// The Xing or Info tag that LAME and ffmpeg put in the first frame: the stream's frame count (0 when not given)
// and, from the encoder extension after it, the padding added at the end. False when the frame holds no tag.
bool readInfoTag(const uint8_t* frame, size_t size, const MpegFrame& f, uint32_t* frames, uint32_t* padding) {
  const size_t sideInfo = f.version == 3 ? (f.channels == 1 ? 17 : 32) : (f.channels == 1 ? 9 : 17);
  size_t at = 4 + ((frame[1] & 1) == 0 ? 2 : 0) + sideInfo;  // after the CRC, when the frame has one
  if (size < at + 8 || (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0)) return false;
  const uint32_t flags = be32(frame + at + 4);
  at += 8;
  *frames = 0;
  if ((flags & 1) && size >= at + 4) *frames = be32(frame + at);
  at += (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
  // The extension: a 9-byte encoder name, then delay and padding as two 12-bit numbers 21 bytes in.
  if (size >= at + 24 && (std::memcmp(frame + at, "LAME", 4) == 0 || std::memcmp(frame + at, "Lav", 3) == 0))
    *padding = uint32_t(frame[at + 22] & 0x0F) << 8 | frame[at + 23];
  return true;
}

bool readMp3(const uint8_t* p, size_t n, MusicFileInfo* info, std::string* error) {
  // Tags may repeat and be followed by stray padding. Markers come from the first tag that has any.
  TagMarkers tag;
  size_t at = 0;
  bool tagged = false;
  Id3Header h;
  while (readId3Header(p + at, n - at, &h)) {
    if (!tagged) info->id3Version = h.major;
    tagged = true;
    size_t left = n - at - 10;
    if ((h.major == 3 || h.major == 4) && tag.chapters.empty() && !tag.haveLyrics) {
      readId3Tag(p + at + 10, std::min<size_t>(h.size, left), h, &tag);
    }
    uint64_t length = uint64_t(h.size) + (h.major == 4 && (h.flags & 0x10) ? 10 : 0);  // footer
    at += 10 + size_t(std::min<uint64_t>(length, left));
    while (at < n && p[at] == 0) ++at;
  }
  while (at < n && p[at] == 0) ++at;

  MpegFrame f;
  size_t first = at;
  if (!findMpegFrame(p, n, at, tagged, &f, &first)) {
    return fail(info, error, tagged ? "no MPEG Layer III audio after the ID3v2 tag" : "not a RIFF/WAVE or MP3 file");
  }
  info->container = MusicContainer::mp3;
  info->codec = MusicCodec::mp3;
  info->sampleRate = f.sampleRate;
  info->channels = f.channels;
  info->audioOffset = at;
  info->audioSize = n - at;
  info->frameSamples = f.samplesPerFrame;

  // Frame by frame to the last: one that runs past the end of the file, or fewer than the Info tag counts,
  // means the file was cut. Anything else after the frames (an ID3v1 tag, junk) ends the walk.
  uint32_t tagFrames = 0;
  const bool infoTag = readInfoTag(p + first, std::min<size_t>(f.bytes, n - first), f, &tagFrames, &info->padding);
  uint64_t walked = 0;
  MpegFrame g;
  for (size_t frame = first; n - frame >= 4 && readMpegHeader(p + frame, &g); frame += g.bytes, ++walked) {
    if (g.bytes > n - frame) {
      info->cut = true;
      break;
    }
  }
  if (infoTag && walked < uint64_t(tagFrames)) info->cut = true;

  const std::vector<TagMarker>* source = nullptr;
  if (!tag.chapters.empty()) {
    source = &tag.chapters;
    info->markerSource = MarkerSource::id3Chapters;
  } else if (!tag.lyrics.empty()) {
    source = &tag.lyrics;
    info->markerSource = MarkerSource::id3SyncedLyrics;
  }
  if (source) {
    bool inFrames = source == &tag.lyrics && tag.lyricsInFrames;
    info->markers.reserve(source->size());
    for (const TagMarker& m : *source) {
      uint64_t sample = inFrames ? m.time * f.samplesPerFrame : (m.time * f.sampleRate + 500) / 1000;
      info->markers.push_back({sample, m.name});
    }
    sortMarkers(&info->markers);
  }
  return true;
}

// ---- RIFF/WAVE ----

struct CuePoint {
  uint32_t id;
  uint64_t sample;
};

struct Label {
  uint32_t id;
  std::string name;
};

// LIST/adtl: labl sub-chunks name cue points; ltxt and note are not needed.
void readAssociatedData(const uint8_t* d, size_t n, std::vector<Label>* labels) {
  size_t at = 4;
  while (at <= n && n - at >= 8) {
    uint32_t size = le32(d + at + 4);
    size_t body = std::min<size_t>(size, n - at - 8);
    if (std::memcmp(d + at, "labl", 4) == 0 && body >= 4) {
      const uint8_t* text = d + at + 12;
      labels->push_back(
          {le32(d + at + 8), std::string(reinterpret_cast<const char*>(text), nameLength(text, body - 4))});
    }
    uint64_t next = uint64_t(at) + 8 + size + (size & 1);  // chunks are padded to an even size
    if (next > n) break;
    at = size_t(next);
  }
}

bool readWave(const uint8_t* p, size_t n, MusicFileInfo* info, std::string* error) {
  // The RIFF size bounds the chunks when it fits the file; writers that leave it 0 or too large are common.
  size_t end = n;
  uint32_t riffSize = le32(p + 4);
  if (riffSize >= 4 && riffSize <= n - 8) end = 8 + size_t(riffSize);

  bool haveFmt = false, haveData = false, haveCue = false;
  uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
  uint32_t rate = 0;
  std::vector<CuePoint> cues;
  std::vector<Label> labels;
  size_t at = 12;
  while (at <= end && end - at >= 8) {
    const uint8_t* chunk = p + at;
    const uint8_t* d = chunk + 8;
    uint32_t size = le32(chunk + 4);
    size_t body = std::min<size_t>(size, end - at - 8);  // a chunk that claims more than is there ends with the file
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFmt) {
      if (body < 16) return fail(info, error, "the WAVE fmt chunk is too short");
      haveFmt = true;
      format = le16(d);
      channels = le16(d + 2);
      rate = le32(d + 4);
      blockAlign = le16(d + 12);
      bits = le16(d + 14);
      static constexpr uint8_t kGuidTail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
      if (format == 0xFFFE && body >= 40 && std::memcmp(d + 26, kGuidTail, 14) == 0) format = le16(d + 24);
    } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
      haveData = true;
      info->audioOffset = at + 8;
      info->audioSize = body;
      info->cut = size > body && size != 0xFFFFFFFF;  // all ones: a writer that did not know the length
    } else if (std::memcmp(chunk, "cue ", 4) == 0 && !haveCue && body >= 4) {
      haveCue = true;
      size_t count = std::min<size_t>(le32(d), (body - 4) / 24);
      cues.reserve(count);
      for (size_t i = 0; i < count; ++i) {
        // id, position, chunk id, chunk start, block start, sample offset
        const uint8_t* q = d + 4 + 24 * i;
        uint32_t position = le32(q + 4), offset = le32(q + 20);
        bool inData = std::memcmp(q + 8, "data", 4) == 0 && le32(q + 12) == 0 && le32(q + 16) == 0;
        cues.push_back({le32(q), inData && offset != 0 ? offset : position});
      }
    } else if (std::memcmp(chunk, "LIST", 4) == 0 && body >= 4 && std::memcmp(d, "adtl", 4) == 0) {
      readAssociatedData(d, body, &labels);
    }
    uint64_t next = uint64_t(at) + 8 + size + (size & 1);
    if (next > end) break;
    at = size_t(next);
  }

  if (!haveFmt) return fail(info, error, "the WAVE file has no fmt chunk");
  if (format == 1 && bits == 16) {
    info->codec = MusicCodec::pcm16;
  } else if (format == 0x55) {
    info->codec = MusicCodec::mp3;
  } else {
    return fail(info, error, "the WAVE audio is neither 16-bit PCM nor MPEG Layer-3");
  }
  // Checked here, where the file is opened: the rate converter and the marker positions trust these fields.
  char reason[96];
  if (channels < 1 || channels > 2) {
    std::snprintf(reason, sizeof reason, "the WAVE audio has %u channels; 1 or 2 can be played", unsigned(channels));
    return fail(info, error, reason);
  }
  if (rate < 8000 || rate > 192000) {
    std::snprintf(reason, sizeof reason, "the WAVE sample rate is %u Hz; 8000 to 192000 Hz can be played",
                  unsigned(rate));
    return fail(info, error, reason);
  }
  if (info->codec == MusicCodec::pcm16 && blockAlign != 2 * channels) {
    std::snprintf(reason, sizeof reason, "the WAVE block align is %u bytes, not %u for 16-bit PCM in %u channels",
                  unsigned(blockAlign), 2u * channels, unsigned(channels));
    return fail(info, error, reason);
  }
  if (!haveData || info->audioSize == 0) return fail(info, error, "the WAVE file has no audio data");
  info->container = MusicContainer::wave;
  info->sampleRate = rate;
  info->channels = channels;
  info->frameSamples = info->codec == MusicCodec::pcm16 ? 1 : rate >= 32000 ? 1152 : 576;

  // The first label of a cue ID names it.
  std::stable_sort(labels.begin(), labels.end(), [](const Label& a, const Label& b) { return a.id < b.id; });
  info->markers.reserve(cues.size());
  for (const CuePoint& c : cues) {
    auto it =
        std::lower_bound(labels.begin(), labels.end(), c.id, [](const Label& l, uint32_t id) { return l.id < id; });
    if (it != labels.end() && it->id == c.id) {
      info->markers.push_back({c.sample, it->name});
    } else {
      char name[16];
      std::snprintf(name, sizeof name, "cue %u", unsigned(c.id));
      info->markers.push_back({c.sample, name});
    }
  }
  if (!cues.empty()) info->markerSource = MarkerSource::waveCues;
  sortMarkers(&info->markers);
  return true;
}

}  // namespace

bool readMusicFile(const uint8_t* data, size_t size, MusicFileInfo* info, std::string* error) {
  *info = MusicFileInfo{};
  if (!data || size == 0) return fail(info, error, "the file is empty");
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0) {
    return readWave(data, size, info, error);
  }
  return readMp3(data, size, info, error);
}
