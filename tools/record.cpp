// vostrel-record: the demo as a video file, drawn offscreen at a steady 100 frames a second, with its music.
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "music/markers.h"
#include "music/sync.h"
#include "platform/file_map.h"
#include "record_audio.h"
#include "record_output.h"
#include "scene_driver.h"

namespace {

constexpr int ticksPerSecond = 100;  // the demo's frame cap: frame n is drawn at n * 10 ms
constexpr int quitCount = 85;        // the count at which the demo ends itself
constexpr int heldTicks = ticksPerSecond;  // the last picture stays one second

volatile std::sig_atomic_t stopSignal = 0;
void onSignal(int signal) { stopSignal = signal; }

void usage() {
  std::fprintf(stderr,
               "usage: vostrel-record OUT.mp4|OUT.mkv [--fps 50|60|100] [--size WxH] [--crf N] [--from S] [--to S]\n"
               "                      [--quiet]\n"
               "  Run from a folder holding demo.mp3 and Data/. Draws the demo offscreen as a machine holding its\n"
               "  100 frames a second exactly would, from the start to the end (count 85) and one second more, and\n"
               "  writes it as H.264 (yuv420p) with the music.\n"
               "  --fps   frames a second of the video (60); 60 keeps the drawn frame nearest each 1/60 s\n"
               "  --size  picture size, 4:3 with even sides (1024x768)\n"
               "  --crf   x264's constant quality, 0-51 (20)\n"
               "  --from, --to  seconds of the music to keep; the motion still starts from the beginning\n"
               "  --quiet no progress line and no summary\n");
}

bool parseNumber(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == 0 && std::isfinite(*value);
}

struct Options {
  OutputSettings output;
  double from = 0, to = -1;
  bool quiet = false;
};

// False on anything the usage does not allow.
bool parseOptions(int argc, char** argv, Options* options) {
  bool havePath = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    double value = 0;
    if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--fps" && hasValue) {
      const std::string fps = argv[++i];
      if (fps != "50" && fps != "60" && fps != "100") return false;
      options->output.fps = std::atoi(fps.c_str());
    } else if (arg == "--size" && hasValue) {
      int width = 0, height = 0;
      char rest = 0;
      if (std::sscanf(argv[++i], "%dx%d%c", &width, &height, &rest) != 2) return false;
      // 4:3 and even sides (4:2:0 chroma), at most four times the drawn size.
      if (width < 8 || width > 4 * sourceWidth || width * 3 != height * 4 || width % 2 || height % 2) return false;
      options->output.width = width;
      options->output.height = height;
    } else if (arg == "--crf" && hasValue) {
      if (!parseNumber(argv[++i], &value) || value < 0 || value > 51 || value != std::floor(value)) return false;
      options->output.crf = static_cast<int>(value);
    } else if (arg == "--from" && hasValue) {
      if (!parseNumber(argv[++i], &value) || value < 0 || value > 86400) return false;
      options->from = value;
    } else if (arg == "--to" && hasValue) {
      if (!parseNumber(argv[++i], &value) || value <= 0 || value > 86400) return false;
      options->to = value;
    } else if (!arg.empty() && arg[0] != '-' && !havePath) {
      options->output.path = arg;
      havePath = true;
    } else {
      return false;
    }
  }
  if (!havePath || (options->to >= 0 && options->to <= options->from)) return false;
  const std::string& path = options->output.path;
  const size_t dot = path.rfind('.');
  std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "mp4" || extension == "mkv";
}

std::string clockText(double seconds) {
  if (seconds < 0) seconds = 0;
  const int whole = static_cast<int>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%d:%05.2f", whole / 60, seconds - whole / 60 * 60);
  return text;
}

// Processor time of the whole process: the drawing thread, the GL driver's threads and the encoding thread.
double processSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Frames handed from the drawing thread to the encoding thread; a few at most wait.
class FrameQueue {
 public:
  void push(std::shared_ptr<const std::vector<uint8_t>> frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return frames_.size() < 4 || failed_; });
    frames_.push_back(std::move(frame));
    ready_.notify_one();
  }
  // Null when the drawing has ended and everything is taken.
  std::shared_ptr<const std::vector<uint8_t>> pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return !frames_.empty() || closed_; });
    if (frames_.empty()) return nullptr;
    auto frame = std::move(frames_.front());
    frames_.pop_front();
    room_.notify_one();
    return frame;
  }
  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }
  void fail() {
    std::lock_guard<std::mutex> lock(mutex_);
    failed_ = true;
    room_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<std::shared_ptr<const std::vector<uint8_t>>> frames_;
  bool closed_ = false, failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  Options options;
  if (!parseOptions(argc, argv, &options)) {
    usage();
    return 2;
  }
  // Our own handlers end the run with a complete file; SDL's would turn the signal into a quit the driver drops.
  setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const Clock::time_point started = Clock::now();

  // The music: its markers, its length as the demo plays it, and the sound track.
  MappedFile file;
  MusicFileInfo info;
  std::string error;
  if (!mapFile("demo.mp3", &file)) {
    std::fprintf(stderr, "vostrel-record: cannot read demo.mp3 (run from the folder that holds the demo's files)\n");
    return 1;
  }
  if (!readMusicFile(file.data, file.size, &info, &error)) {
    std::fprintf(stderr, "vostrel-record: demo.mp3: %s\n", error.c_str());
    return 1;
  }
  const int64_t rate = info.sampleRate;
  AudioTrack audio;
  std::vector<int16_t> pcm;
  int pcmRate = 0, pcmChannels = 0;
  const bool copy = info.container == MusicContainer::mp3 && info.codec == MusicCodec::mp3;
  if (copy ? !loadMp3Track("demo.mp3", &audio, &error)
           : !decodeMusic(info, file.data, &pcm, &pcmRate, &pcmChannels, &error)) {
    std::fprintf(stderr, "vostrel-record: demo.mp3: %s\n", error.c_str());
    return 1;
  }
  const int64_t musicSamples = copy ? audio.musicSamples : static_cast<int64_t>(pcm.size() / pcmChannels);
  if (rate <= 0 || (copy ? audio.rate : pcmRate) != rate || musicSamples <= 0) {
    std::fprintf(stderr, "vostrel-record: demo.mp3: the music's format is not one this tool reads\n");
    return 1;
  }

  // The plan in ticks of 10 ms: the last frame drawn (the count reaches 85, or the music ends), the end of the
  // held second, and the stretch kept.
  const int64_t musicEndTick = (musicSamples * ticksPerSecond + rate - 1) / rate;
  int64_t lastTick = musicEndTick;
  for (size_t i = 0; i < info.markers.size(); ++i)
    if (2 + static_cast<int64_t>(i) >= quitCount) {  // marker i takes the count to i + 2
      lastTick = std::min(lastTick, (static_cast<int64_t>(info.markers[i].sample) * ticksPerSecond + rate - 1) / rate);
      break;
    }
  const int64_t endTick = lastTick + heldTicks;
  const int64_t fromTick = std::llround(options.from * ticksPerSecond);
  const int64_t toTick = options.to < 0 ? endTick : std::min<int64_t>(endTick, std::llround(options.to * ticksPerSecond));
  if (fromTick >= toTick) {
    std::fprintf(stderr, "vostrel-record: --from is past the end of the recording (%s)\n",
                 clockText(static_cast<double>(endTick) / ticksPerSecond).c_str());
    usage();
    return 2;
  }
  const int fps = options.output.fps;
  const int64_t frameCount = ((toTick - fromTick) * fps + ticksPerSecond - 1) / ticksPerSecond;
  // The drawn frame nearest to video frame k's time (no ties: k * 100 / fps is never a half).
  auto tickOf = [&](int64_t k) { return fromTick + (k * 2 * ticksPerSecond + fps) / (2 * fps); };
  const int64_t lastDrawn = std::min(lastTick, tickOf(frameCount - 1));
  const int64_t audioFrom = fromTick * rate / ticksPerSecond;
  if (!copy) {
    const int64_t audioTo = (fromTick * fps + frameCount * ticksPerSecond) * rate / (ticksPerSecond * fps);
    if (!encodeAacTrack(pcm, pcmRate, pcmChannels, audioFrom, audioTo, &audio, &error)) {
      std::fprintf(stderr, "vostrel-record: %s\n", error.c_str());
      return 1;
    }
    pcm = {};
  }
  unmapFile(&file);

  if (!sceneDriverOpen("Vostrel record")) return 1;
  Recording recording;
  if (!recording.open(options.output, &audio, audioFrom, &error)) {
    std::fprintf(stderr, "vostrel-record: %s\n", error.c_str());
    sceneDriverClose();
    return 1;
  }

  // Encoding runs beside the drawing: the scenes need the GL context's thread, x264 and the muxer do not.
  FrameQueue queue;
  std::atomic<int64_t> written{0};
  std::atomic<bool> encodeFailed{false};
  double encodeSeconds = 0;
  std::string encodeError;
  std::thread encoder([&] {
    while (auto frame = queue.pop()) {
      const Clock::time_point at = Clock::now();
      if (!encodeFailed && !recording.addFrame(frame->data(), &encodeError)) {
        encodeFailed = true;
        queue.fail();
      }
      encodeSeconds += secondsSince(at);
      written = recording.framesAdded();
    }
    const Clock::time_point at = Clock::now();
    if (!encodeFailed && !recording.finish(&encodeError)) encodeFailed = true;
    encodeSeconds += secondsSince(at);
  });

  double drawSeconds = 0;
  Clock::time_point lastProgress = Clock::now();
  const Clock::time_point drawStarted = Clock::now();
  auto progress = [&](bool force) {
    if (options.quiet || (!force && secondsSince(lastProgress) < 0.25)) return;
    lastProgress = Clock::now();
    const double elapsed = secondsSince(drawStarted);
    const int64_t done = written;
    const double perSecond = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
    const double left = perSecond > 0 ? static_cast<double>(frameCount - done) / perSecond : 0;
    std::fprintf(stderr, "\rvostrel-record: %3d%%  %5.1f frames/s  %s left ",
                 static_cast<int>(100 * done / frameCount), perSecond, clockText(left).c_str());
    std::fflush(stderr);
  };

  // Draw every tick from the start, raising the count by each marker heard by then, and keep the frames the
  // video shows; past the last frame drawn the video holds its picture.
  std::shared_ptr<const std::vector<uint8_t>> picture;
  int64_t k = 0;
  size_t nextMarker = 0;
  for (int64_t tick = 0; tick <= lastDrawn && !stopSignal && !encodeFailed; ++tick) {
    const Clock::time_point at = Clock::now();
    while (nextMarker < info.markers.size() &&
           static_cast<int64_t>(info.markers[nextMarker].sample) * ticksPerSecond <= tick * rate)
      onSyncPoint(info.markers[nextMarker++].name.c_str());
    sceneDriverDraw(1, true);
    const bool shown = k < frameCount && (tickOf(k) == tick || (tick == lastTick && tickOf(k) > tick));
    if (shown) picture = std::make_shared<const std::vector<uint8_t>>(sceneDriverReadFrame());
    drawSeconds += secondsSince(at);
    for (; k < frameCount && tickOf(k) <= tick; ++k) queue.push(picture);
    progress(false);
  }
  for (; k < frameCount && picture && !stopSignal && !encodeFailed; ++k) {
    queue.push(picture);
    progress(false);
  }
  queue.close();
  encoder.join();
  sceneDriverClose();
  const int64_t frames = recording.framesAdded();
  if (!options.quiet) {
    progress(true);
    std::fprintf(stderr, "\n");
  }
  if (encodeFailed) {
    std::fprintf(stderr, "vostrel-record: %s\n", encodeError.c_str());
    return 1;
  }
  const double videoSeconds = static_cast<double>(frames) / fps;
  if (stopSignal) {
    std::fprintf(stderr, "vostrel-record: stopped by %s: %s holds %lld frames (%s)\n",
                 stopSignal == SIGINT ? "SIGINT" : "SIGTERM", options.output.path.c_str(),
                 static_cast<long long>(frames), clockText(videoSeconds).c_str());
    return stopSignal == SIGINT ? 130 : 143;
  }
  if (!options.quiet) {
    FILE* out = std::fopen(options.output.path.c_str(), "rb");
    long bytes = 0;
    if (out && std::fseek(out, 0, SEEK_END) == 0) bytes = std::ftell(out);
    if (out) std::fclose(out);
    const double total = secondsSince(started);
    const double music = static_cast<double>(musicSamples) / static_cast<double>(rate);
    const double encodeCpu = recording.convertSeconds() + recording.encodeSeconds();
    std::fprintf(stderr,
                 "vostrel-record: %s: %s of video from %s of the music, %lld frames at %d/s, %s, %.1f MB\n"
                 "vostrel-record: %.1f s for the music's %s (%.2f x); %lld frames drawn in %.1f s, encoded beside "
                 "them in %.1f s\n"
                 "vostrel-record: processor seconds: drawing and start-up %.1f, YUV conversion %.1f, x264 and "
                 "muxing %.1f\n",
                 options.output.path.c_str(), clockText(videoSeconds).c_str(),
                 clockText(static_cast<double>(fromTick) / ticksPerSecond).c_str(), static_cast<long long>(frames),
                 fps, audio.copied ? "MP3 copied" : "AAC", static_cast<double>(bytes) / 1e6, total,
                 clockText(music).c_str(), total / music, static_cast<long long>(lastDrawn + 1), drawSeconds,
                 encodeSeconds, processSeconds() - encodeCpu, recording.convertSeconds(), recording.encodeSeconds());
  }
  return 0;
}
