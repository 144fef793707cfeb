// vostrel-preview: the author's player. Starts at any sync point or time, pauses, steps, jumps between
// markers, loops a stretch, and reloads the music and the pictures when they change on disk.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "gfx/render_state.h"
#include "gfx/resources.h"
#include "music/sound.h"
#include "music/sync.h"
#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/gl.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "preview_files.h"
#include "preview_script.h"
#include "preview_view.h"
#include "scenes/timing.h"

namespace {

constexpr int32_t endCount = 85;  // the count at which the demo ends

// A failure the sound core or a loader reports while the preview runs, kept for the overlay. It may come on
// the core's marker thread, so it is handed over through a flag.
std::atomic<bool> failureBusy{false};
char failureText[512];
std::atomic<unsigned> failureSerial{0};

void keepFailure(const char* text) {
  std::fprintf(stderr, "vostrel-preview: %s\n", text);
  while (failureBusy.exchange(true)) {
  }
  std::snprintf(failureText, sizeof failureText, "%s", text);
  failureBusy.store(false);
  failureSerial.fetch_add(1);
}

std::string lastFailure() {
  while (failureBusy.exchange(true)) {
  }
  std::string text = failureText;
  failureBusy.store(false);
  return text;
}

struct Preview {
  SoundStream* stream = nullptr;
  std::vector<Marker> markers;
  uint64_t rate = 44100;
  int windowWidth = 1024, windowHeight = 768;
  bool paused = false, overlay = true, ended = false;
  bool looping = false;
  ScriptPlace loopFrom, loopTo;  // loopTo.frame 0: not marked
  bool loopFromSet = false, loopToSet = false;
  std::string problem;  // why the last reload failed, until one succeeds
  // The frame rate shown: frames drawn in the last whole second.
  uint64_t secondStart = 0, framesThisSecond = 0, framesPerSecond = 0;
} preview;

// Calls the core makes for markers that a jump has already counted (those on the frame jumped to).
std::atomic<int32_t> countedCalls{0};
// The marker that ends the demo has been heard. The scenes never see its count: the line scene would end the
// run there, and the preview holds instead.
std::atomic<bool> scriptEnded{false};

void onStreamEvent(SoundStream*, const char* name, void*) {
  if (!name) return;
  if (countedCalls.load() > 0) {
    countedCalls.fetch_sub(1);
    return;
  }
  if (syncCount.load() + 1 >= endCount) {
    scriptEnded.store(true);
    return;
  }
  onSyncPoint(name);
}

// The script at the place; only while the stream is paused, when the core calls nothing.
void setPlace(const ScriptPlace& place) {
  preview.ended = place.count >= endCount;
  scriptEnded.store(preview.ended);
  setSyncPoint(std::min(place.count, endCount - 1), place.caption.c_str());
  countedCalls.store(place.onFrame);
}

// The scenes' counters as a run from the start would have them at music frame `frame`, stepped once per 10 ms
// with the count each of those frames saw, and nothing drawn.
void stepScenesTo(uint64_t frame) {
  resetScenes();
  const uint64_t steps = frame * 100 / preview.rate;
  size_t heard = 0;  // the markers heard by the step's moment, its own frame included
  int32_t shown = -1;
  for (uint64_t i = 0; i < steps; ++i) {
    const uint64_t at = i * preview.rate / 100;
    while (heard < preview.markers.size() && preview.markers[heard].sample <= at) ++heard;
    const int32_t count = static_cast<int32_t>(heard) + 1;
    if (count != shown) setSyncPoint(count, "");
    shown = count;
    stepScenes();
  }
}

// Fills a render texture with one colour.
void fillTrail(int slot, uint8_t red, uint8_t green, uint8_t blue) {
  static std::vector<uint8_t> pixels(512 * 512 * 3);
  for (size_t i = 0; i < pixels.size(); i += 3) pixels[i] = red, pixels[i + 1] = green, pixels[i + 2] = blue;
  glBindTexture(GL_TEXTURE_2D, textures[slot]);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 512, 512, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
}

// The feedback scenes' trails need hundreds of frames to build, more than a jump can draw in time. They are
// started from the colour each scene's feedback settles on away from its lines, read from a run's frames: the
// lines' grey and the interlude's blue. What is missing then is only the newest trails (see --bench).
void primeTrails() {
  fillTrail(0, 212, 212, 212);
  fillTrail(5, 3, 128, 213);
}

// Draws one frame of the scenes into the picture.
void drawSceneFrame() {
  viewBeginScene();
  drawScenes();
  ++preview.framesThisSecond;
}

std::vector<std::string> overlayLines() {
  std::vector<std::string> lines;
  if (!preview.overlay) return lines;
  const uint64_t position = soundPosition(preview.stream);
  const int32_t count = preview.ended ? endCount : syncCount.load();
  char line[512];
  std::snprintf(line, sizeof line, "count %d   %s   \"%s\"", count,
                clockText(position * 1000 / preview.rate).c_str(), syncName());
  lines.push_back(line);
  const size_t next = nextMarker(preview.markers, count);
  if (next < preview.markers.size()) {
    const Marker& marker = preview.markers[next];
    const uint64_t toGo = marker.sample > position ? marker.sample - position : 0;
    std::snprintf(line, sizeof line, "next: marker %zu \"%.40s\" in %s (count %zu)", next + 1, marker.name.c_str(),
                  clockText(toGo * 1000 / preview.rate).c_str(), next + 2);
  } else {
    std::snprintf(line, sizeof line, "next: none, the script has no more markers");
  }
  lines.push_back(line);
  std::string state = std::to_string(preview.paused ? 0 : preview.framesPerSecond) + " fps";
  if (preview.paused) state += "   paused";
  if (preview.looping) {
    state += "   loop, counts " + std::to_string(preview.loopFrom.count) + " to " + std::to_string(preview.loopTo.count - 1);
  } else if (preview.loopFromSet || preview.loopToSet) {
    state += "   loop marked, counts " +
             (preview.loopFromSet ? std::to_string(preview.loopFrom.count) : std::string("[ ?")) + " to " +
             (preview.loopToSet ? std::to_string(preview.loopTo.count - 1) : std::string("? ]")) + " (L loops)";
  }
  lines.push_back(state);
  if (preview.ended) lines.push_back("the demo ends here (count 85): Home, Left or PageUp to go back");
  if (!preview.problem.empty()) lines.push_back("reload failed, still playing the last good files: " + preview.problem);
  lines.push_back("Space pause  . step  Left/Right marker  PgUp/PgDn 10 s  Home start  [ ] L loop  R reload  H hide");
  return lines;
}

void show() { viewShow(preview.windowWidth, preview.windowHeight, overlayLines()); }

// Puts picture and sound at the place: the music there, the count and caption it has, the scenes' counters as
// a run would have them, and the frame at that place drawn at once (also while paused).
void goTo(const ScriptPlace& wanted) {
  const ScriptPlace place = placeAtFrame(preview.markers, std::min<uint64_t>(wanted.frame, soundLength(preview.stream)));
  soundPause(preview.stream, true);
  soundSeek(preview.stream, place.frame);
  stepScenesTo(place.frame);
  primeTrails();
  setPlace(place);
  if (!preview.paused && !preview.ended) soundPause(preview.stream, false);
  resetGates();
  if (!preview.ended) drawSceneFrame();
  show();
}

// One 10 ms frame on, while paused: the sound's place moves with it, and the markers passed raise the count.
void stepOneFrame() {
  const uint64_t frame = soundPosition(preview.stream) + preview.rate / 100;
  const ScriptPlace place = placeAtFrame(preview.markers, std::min<uint64_t>(frame, soundLength(preview.stream)));
  soundSeek(preview.stream, place.frame);
  setPlace(place);
  resetGates();
  if (!preview.ended) drawSceneFrame();
}

bool reloadPictures() {
  std::vector<DibImage> images;
  std::string problem;
  if (!decodePictures(&images, &problem)) {
    preview.problem = problem;
    return false;
  }
  for (int i = 0; i < imageCount; ++i) {
    glDeleteTextures(1, &textures[imageSlots[i].slot]);
    uploadTexture(textures, images[static_cast<size_t>(i)], imageSlots[i].slot);
  }
  freePictures(&images);
  return true;
}

// A new stream for demo.mp3 in place of the old one, going on from the marker the count stands at.
bool reloadMusic() {
  const unsigned serial = failureSerial.load();
  SoundStream* fresh = soundOpenFile("demo.mp3");
  if (!fresh) {
    preview.problem = failureSerial.load() != serial ? lastFailure() : "\"demo.mp3\" cannot be played";
    return false;
  }
  const int32_t count = syncCount.load();
  soundCloseStream(preview.stream);
  preview.stream = fresh;
  soundSetEndCallback(fresh, onStreamEvent, nullptr);
  soundSetSyncCallback(fresh, onStreamEvent, nullptr);
  preview.markers = soundMarkers(fresh);
  soundPlay(fresh);
  soundPause(fresh, true);
  preview.looping = preview.loopFromSet = preview.loopToSet = false;
  goTo(placeOfCount(preview.markers, count));
  std::printf("reloaded: count %d \"%s\"\n", static_cast<int>(syncCount.load()), syncName());
  std::fflush(stdout);
  return true;
}

void reload() {
  preview.problem.clear();
  // The pictures first: a good picture is shown even when the music fails, and the other way round.
  const bool pictures = reloadPictures();
  std::string pictureProblem = preview.problem;
  const bool music = reloadMusic();
  if (!pictures) preview.problem = pictureProblem + (music ? "" : "; " + preview.problem);
  if (pictures && music) preview.problem.clear();
  if (!preview.problem.empty()) {
    std::printf("reload failed: %s\n", preview.problem.c_str());
    std::fflush(stdout);
  }
  show();
}

void markLoop(bool from) {
  const int32_t count = syncCount.load();
  // [ marks the start of the section the count stands in, ] its end: the next marker.
  ScriptPlace place = placeOfCount(preview.markers, from ? count : count + 1);
  if (from) preview.loopFrom = place, preview.loopFromSet = true;
  else preview.loopTo = place, preview.loopToSet = true;
  preview.looping = false;
}

void takeKey(int key) {
  const int32_t count = syncCount.load();
  const uint64_t position = soundPosition(preview.stream);
  const uint64_t tenSeconds = preview.rate * 10;
  switch (key) {
    case ' ':
      if (preview.ended) break;
      preview.paused = !preview.paused;
      soundPause(preview.stream, preview.paused);
      resetGates();
      break;
    case '.':
      if (preview.paused && !preview.ended) stepOneFrame();
      break;
    case shellKey::left: goTo(placeOfCount(preview.markers, count - 1)); break;
    case shellKey::right:
      if (nextMarker(preview.markers, count) < preview.markers.size()) goTo(placeOfCount(preview.markers, count + 1));
      break;
    case shellKey::pageUp: goTo(placeAtFrame(preview.markers, position > tenSeconds ? position - tenSeconds : 0)); break;
    case shellKey::pageDown: goTo(placeAtFrame(preview.markers, position + tenSeconds)); break;
    case shellKey::home: goTo(placeAtFrame(preview.markers, 0)); break;
    case '[': markLoop(true); break;
    case ']': markLoop(false); break;
    case 'l':
      preview.looping = !preview.looping && preview.loopFromSet && preview.loopToSet &&
                        preview.loopFrom.frame < preview.loopTo.frame;
      if (preview.looping && (position < preview.loopFrom.frame || position >= preview.loopTo.frame))
        goTo(preview.loopFrom);
      break;
    case 'r': reload(); break;
    case 'h': preview.overlay = !preview.overlay; break;
    default: break;  // other keys change nothing
  }
  show();
}

// Takes every waiting message; false once the author's quit (Escape, closing the window) is taken.
bool takeMessages() {
  for (;;) {
    int code = 0, width = 0, height = 0;
    const ShellMessage message = shellTakeMessage(&code, &width, &height);
    if (message == ShellMessage::none) return true;
    if (message == ShellMessage::quit) return false;
    if (message == ShellMessage::resized) preview.windowWidth = width, preview.windowHeight = height;
    if (message == ShellMessage::resized) show();
    if (message == ShellMessage::key) takeKey(shellKeyTaken());
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: vostrel-preview [--at COUNT | --at M:SS.mmm] [--bench]\n"
               "  Run from the folder with demo.mp3 and Data/. Plays the demo in a window from the start, from\n"
               "  the marker that raises the count to COUNT, or from a time. Keys: Space pause, . one 10 ms\n"
               "  frame while paused, Left/Right previous/next marker, PageUp/PageDown 10 s, Home the start,\n"
               "  [ and ] mark a loop's first and last section, L loops, R reloads, H hides the overlay,\n"
               "  Escape quits. Changes to demo.mp3 or Data/ are reloaded by themselves.\n"
               "  --bench times a jump to every marker and a reload, prints the figures and quits.\n");
  return 2;
}

int runBench();

}  // namespace

int main(int argc, char** argv) {
  StartAt at;
  bool bench = false;
  for (int i = 1; i < argc; ++i) {
    std::string error;
    if (std::strcmp(argv[i], "--at") == 0 && i + 1 < argc) {
      if (!parseStartAt(argv[++i], &at, &error)) {
        std::fprintf(stderr, "vostrel-preview: %s\n", error.c_str());
        return 2;
      }
    } else if (std::strcmp(argv[i], "--bench") == 0) {
      bench = true;
    } else {
      return usage();
    }
  }

  if (!shellCreateWindow("Vostrel preview", 1024, 768, false)) return 1;
  initResources();  // a picture that cannot be loaded at the start ends the preview with its message
  std::string error;
  if (!glReady || !viewOpen(&error)) {
    if (!error.empty()) std::fprintf(stderr, "vostrel-preview: %s\n", error.c_str());
    shellShutdown();
    return 1;
  }
  shellClientSize(&preview.windowWidth, &preview.windowHeight);
  if (!soundInit(44100)) {
    shellShutdown();
    return 1;
  }
  soundSetBufferSize(1000);
  preview.stream = soundOpenFile("demo.mp3");
  if (!preview.stream) {
    soundClose();
    shellShutdown();
    return 1;
  }
  // From here on nothing the author saves ends the preview: failures are shown on the overlay.
  listenToFailures(keepFailure);
  preview.rate = static_cast<uint64_t>(soundOutputRate());
  preview.markers = soundMarkers(preview.stream);
  soundSetEndCallback(preview.stream, onStreamEvent, nullptr);
  soundSetSyncCallback(preview.stream, onStreamEvent, nullptr);
  soundPlay(preview.stream);
  watchFilesChanged();  // the files as they are now
  goTo(at.byCount ? placeOfCount(preview.markers, at.count)
                  : placeAtFrame(preview.markers, at.milliseconds * preview.rate / 1000));
  // The first picture is on screen only now: the files are read after the window opens.
  std::printf("started: count %d \"%s\"\n", static_cast<int>(syncCount.load()), syncName());
  std::fflush(stdout);

  int result = 0;
  if (bench) {
    result = runBench();
  } else {
    uint64_t nextWatch = clockMilliseconds() + 250, lastShow = 0;
    while (takeMessages()) {
      const uint64_t now = clockMilliseconds();
      if (now >= preview.secondStart + 1000) {
        preview.framesPerSecond = preview.framesThisSecond;
        preview.framesThisSecond = 0;
        preview.secondStart = now;
      }
      if (now >= nextWatch) {
        nextWatch = now + 250;
        if (watchFilesChanged()) reload();
      }
      if (!preview.paused && scriptEnded.load()) {  // the script's end: hold there
        preview.paused = preview.ended = true;
        soundPause(preview.stream, true);
        std::printf("the demo ends here (count %d): holding\n", endCount);
        std::fflush(stdout);
      }
      if (preview.looping && !preview.paused && soundPosition(preview.stream) >= preview.loopTo.frame)
        goTo(preview.loopFrom);
      if (!preview.paused && frameDue(0.01f)) {
        drawSceneFrame();
        show();
        lastShow = now;
      } else if (now - lastShow >= 50) {  // paused: the same picture, the overlay and the window kept up to date
        show();
        lastShow = now;
      } else {
        sleepMicroseconds(1000);
      }
    }
  }
  listenToFailures(nullptr);
  soundCloseStream(preview.stream);
  soundClose();
  viewClose();
  shellShutdown();
  return result;
}

namespace {

// Draws the scenes' frames from..to (10 ms each) with the count each sees in a run, every frame's feedback due.
void drawFrames(uint64_t from, uint64_t to) {
  for (uint64_t i = from; i < to; ++i) {
    const ScriptPlace place = placeAtFrame(preview.markers, i * preview.rate / 100);
    if (place.count != syncCount.load()) setSyncPoint(place.count, place.caption.c_str());
    resetGates();
    viewBeginScene();
    drawScenes();
  }
}

std::vector<uint8_t> readPicture() {
  std::vector<uint8_t> pixels(1024 * 768 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

double meanError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
  return sum / static_cast<double>(a.size()) / 255.0;
}

// How far the first second after a jump is from a run that drew every frame of the scene before it: a jump into
// the lines (count 20) and into the blue interlude (count 63). Nothing before a feedback scene touches its render
// texture, so the run is stepped up to the scene's first count, with the texture black as at start-up, and drawn
// from there.
void benchTrails(int32_t count, int32_t sceneStart, int slot) {
  if (static_cast<size_t>(count) - 2 >= preview.markers.size()) return;
  soundPause(preview.stream, true);
  const uint64_t at = placeOfCount(preview.markers, count).frame * 100 / preview.rate;
  const uint64_t start = placeOfCount(preview.markers, sceneStart).frame * 100 / preview.rate;
  const uint64_t after[] = {0, 25, 50, 100};
  std::vector<std::vector<uint8_t>> drawn;
  fillTrail(slot, 0, 0, 0);
  stepScenesTo(start * preview.rate / 100);
  for (size_t i = 0; i < 4; ++i) {
    drawFrames(i == 0 ? start : at + after[i - 1] + 1, at + after[i] + 1);
    drawn.push_back(readPicture());
  }
  std::printf("the first second after a jump to count %d, against a run that drew the scene from its start (mean "
              "absolute error of the picture):", count);
  for (bool primed : {false, true}) {
    if (primed) primeTrails(); else fillTrail(slot, 0, 0, 0);
    stepScenesTo(at * preview.rate / 100);
    std::printf("%s", primed ? "; trails primed" : " trails black");
    for (size_t i = 0; i < 4; ++i) {
      drawFrames(i == 0 ? at : at + after[i - 1] + 1, at + after[i] + 1);
      std::printf(" +%llu ms %.3f", static_cast<unsigned long long>(after[i] * 10), meanError(readPicture(), drawn[i]));
    }
  }
  std::printf("\n");
}

// Times a jump to each marker (forwards, then backwards) until its picture is shown and until its sound is
// heard, and a reload of the files; prints the figures.
int runBench() {
  std::vector<double> picture, heard, reloads;
  // Every marker but one that raises the count to the end, where the preview holds and plays nothing.
  size_t n = 0;
  while (n < preview.markers.size() && static_cast<int32_t>(n) + 2 < endCount) ++n;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < n; ++i) {
      const size_t k = pass == 0 ? i : n - 1 - i;
      const int32_t count = static_cast<int32_t>(k) + 2;
      const uint64_t start = clockMilliseconds();
      goTo(placeOfCount(preview.markers, count));
      glFinish();
      picture.push_back(static_cast<double>(clockMilliseconds() - start));
      // Heard: the output has played the marker's own frame.
      const uint64_t frame = placeOfCount(preview.markers, count).frame;
      while (soundPosition(preview.stream) <= frame && clockMilliseconds() - start < 5000) {
        if (!takeMessages()) return 1;
        sleepMicroseconds(1000);
      }
      heard.push_back(static_cast<double>(clockMilliseconds() - start));
      if (soundPosition(preview.stream) <= frame) {
        std::fprintf(stderr, "vostrel-preview: after a jump to count %d nothing was heard within 5 s\n", count);
        return 1;
      }
    }
  }
  for (int i = 0; i < 5; ++i) {
    const uint64_t start = clockMilliseconds();
    reload();
    glFinish();
    reloads.push_back(static_cast<double>(clockMilliseconds() - start));
  }
  auto report = [](const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s: n=%zu median %.0f ms, 90th %.0f ms, worst %.0f ms\n", what, ms.size(), ms[ms.size() / 2],
                ms[ms.size() * 9 / 10], ms.back());
  };
  report("jump to a marker, picture shown", picture);
  report("jump to a marker, its first sound heard", heard);
  report("reload of demo.mp3 and Data/", reloads);
  benchTrails(20, 7, 0);
  benchTrails(63, 62, 5);
  // The sync points after a jump, by the heard position as in a run from the start: a fresh stream (the last
  // reload's), a jump to count 7 and twenty seconds of play, frames drawn as usual.
  goTo(placeOfCount(preview.markers, 7));
  const uint64_t start = clockMilliseconds();
  while (clockMilliseconds() - start < 20000 && !scriptEnded.load()) {
    if (!takeMessages()) return 1;
    if (frameDue(0.01f)) {
      drawSceneFrame();
      show();
    }
  }
  const SyncLateness late = soundSyncLateness(preview.stream);
  std::printf("sync points in 20 s after a jump to count 7: %u called, %.2f ms late on average, %.2f ms in the "
              "middle, %.2f ms at worst\n", late.called, late.meanMs, late.medianMs, late.worstMs);
  return 0;
}

}  // namespace
