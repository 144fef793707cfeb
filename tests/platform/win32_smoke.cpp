// Smoke test of the Win32 platform layer under Wine: each service used as the program uses it, checked by outcome.
// Usage: win32_smoke.exe MUSIC.mp3 REFERENCE.raw SCRATCH_DIR, or win32_smoke.exe --windowed | --bad-mode
// REFERENCE.raw is a gapless decode of MUSIC.mp3 (16-bit stereo) made by another decoder.
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/audio_out.h"
#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/file_map.h"
#include "platform/gl.h"
#include "platform/glyphs.h"
#include "platform/mp3_decoder.h"
#include "platform/shell.h"
#include "platform/threads.h"

namespace {

int passed = 0;
int failed = 0;

// Straight to the handle: a GUI program's C library may buffer or drop what it prints.
void say(const char* format, ...) {
  char line[1024];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD done = 0;
  if (length > 0 && out && out != INVALID_HANDLE_VALUE)
    WriteFile(out, line, static_cast<DWORD>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1), &done,
              nullptr);
}

void check(bool ok, const char* what) {
  if (ok) ++passed; else ++failed;
  say("%s: %s\n", ok ? "ok" : "FAILED", what);
}

// ---- clock

std::atomic<int> clockBackwards{0};

void hammerClock(void*) {
  uint64_t last = clockMilliseconds();
  for (int i = 0; i < 200000; ++i) {
    const uint64_t now = clockMilliseconds();
    if (now < last) ++clockBackwards;
    last = now;
  }
}

void testClock() {
  const uint64_t start = clockMilliseconds();
  Sleep(100);
  const uint64_t elapsed = clockMilliseconds() - start;
  say("clock: 100 ms of Sleep took %llu ms\n", static_cast<unsigned long long>(elapsed));
  // On a busy machine Sleep may end late.
  check(elapsed >= 99 && elapsed <= 400, "clock counts milliseconds");
  PlatformThread* a = threadStart(hammerClock, nullptr, ThreadPriority::normal);
  PlatformThread* b = threadStart(hammerClock, nullptr, ThreadPriority::high);
  hammerClock(nullptr);
  threadJoin(a);
  threadJoin(b);
  check(a && b && clockBackwards == 0, "clock never goes back when three threads read it at once");
}

// ---- threads

struct ThreadProbe {
  WakeEvent* done;
  int priority;
};

void probeThread(void* argument) {
  ThreadProbe* probe = static_cast<ThreadProbe*>(argument);
  probe->priority = GetThreadPriority(GetCurrentThread());
  wakeEventSignal(probe->done);
}

void testThreads() {
  WakeEvent* event = wakeEventCreate();
  check(event != nullptr, "wake event made");
  uint64_t start = clockMilliseconds();
  const bool early = wakeEventWait(event, 30);
  const uint64_t waited = clockMilliseconds() - start;
  check(!early && waited >= 25 && waited < 500, "unsignalled wait times out after its milliseconds");
  wakeEventSignal(event);
  check(wakeEventWait(event, 0), "a signal before the wait is kept for it");
  check(!wakeEventWait(event, 0), "the event resets itself after one wait");

  ThreadProbe probe{event, -99};
  PlatformThread* thread = threadStart(probeThread, &probe, ThreadPriority::urgent);
  check(thread != nullptr && wakeEventWait(event, 2000), "thread started and woke the main thread");
  threadJoin(thread);
  say("threads: urgent thread ran at priority %d\n", probe.priority);
  check(probe.priority == THREAD_PRIORITY_TIME_CRITICAL, "urgent thread runs time-critical");
  wakeEventDestroy(event);

  start = clockMilliseconds();
  for (int i = 0; i < 10; ++i) sleepMicroseconds(2000);
  const uint64_t slept = clockMilliseconds() - start;
  say("threads: 10 sleeps of 2 ms took %llu ms\n", static_cast<unsigned long long>(slept));
  check(slept >= 15 && slept <= 150, "sleeps of 2 ms last about 2 ms");
}

// ---- file mapping

void testFileMap(const char* music, const std::string& scratch) {
  MappedFile file;
  check(mapFile(music, &file) && file.size > 1000, "music file mapped");
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  GetFileAttributesExA(music, GetFileExInfoStandard, &attributes);
  check(file.size == attributes.nFileSizeLow, "mapping holds the whole file");
  FILE* stdioFile = std::fopen(music, "rb");
  std::vector<uint8_t> head(64);
  const size_t got = stdioFile ? std::fread(head.data(), 1, head.size(), stdioFile) : 0;
  if (stdioFile) std::fclose(stdioFile);
  check(got == head.size() && std::memcmp(head.data(), file.data, head.size()) == 0, "mapping reads the file's bytes");
  unmapFile(&file);
  check(file.data == nullptr && file.size == 0, "unmapped file is empty");
  unmapFile(&file);

  const std::string empty = scratch + "\\empty.bin";
  CloseHandle(CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  check(!mapFile(empty.c_str(), &file) && file.data == nullptr, "empty file is not mapped");
  check(!mapFile((scratch + "\\no-such-file").c_str(), &file), "missing file is not mapped");
  check(!mapFile(scratch.c_str(), &file), "folder is not mapped");
}

// ---- window, context, glyphs, messages

void writePicture(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return;
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);
  for (int row = height - 1; row >= 0; --row) std::fwrite(&rgb[static_cast<size_t>(row) * width * 3], 3, width, out);
  std::fclose(out);
}

// Takes messages until none waits; the quit taken, if any, and its code.
bool drain(int* code) {
  int width = 0, height = 0;
  for (int i = 0; i < 10000; ++i) {
    const ShellMessage message = shellTakeMessage(code, &width, &height);
    if (message == ShellMessage::quit) return true;
    if (message == ShellMessage::none) return false;
  }
  return false;
}

// Takes messages for a while, as a main loop would between frames, until a quit comes.
bool waitQuit(int* code, int milliseconds) {
  const uint64_t end = clockMilliseconds() + milliseconds;
  while (clockMilliseconds() < end) {
    if (drain(code)) return true;
    Sleep(5);
  }
  return false;
}

void postQuitFromThread(void* code) { shellPostQuit(*static_cast<int*>(code)); }

void testShell(const std::string& scratch) {
  check(shellCreateWindow("Vostrel", 1024, 768, true), "window made");
  const HWND window = FindWindowA("Lines", "Vostrel");
  check(window != nullptr, "window of class \"Lines\" titled \"Vostrel\"");
  WNDCLASSA windowClass;
  check(GetClassInfoA(GetModuleHandleA(nullptr), "Lines", &windowClass) &&
            windowClass.style == (CS_HREDRAW | CS_VREDRAW) && windowClass.cbClsExtra == 0 &&
            windowClass.cbWndExtra == 0 && windowClass.hbrBackground == reinterpret_cast<HBRUSH>(6) &&
            windowClass.lpszMenuName == nullptr,
        "class fields");
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  check((style & WS_POPUP) && (style & WS_CLIPSIBLINGS) && (style & WS_CLIPCHILDREN) && !(style & WS_CAPTION),
        "borderless pop-up window");
  RECT rect = {-1, -1, -1, -1};
  GetWindowRect(window, &rect);
  say("shell: window at (%ld, %ld)-(%ld, %ld)\n", rect.left, rect.top, rect.right, rect.bottom);
  check(rect.left == 0 && rect.top == 0 && rect.right == 1024 && rect.bottom == 768, "window covers 1024x768 at (0, 0)");
  int width = 0, height = 0;
  shellClientSize(&width, &height);
  check(width == 1024 && height == 768, "client area 1024x768");
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = sizeof mode;
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  say("shell: display mode %lux%lu, %lu bits, %lu Hz\n", mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel,
      mode.dmDisplayFrequency);
  check(mode.dmPelsWidth == 1024 && mode.dmPelsHeight == 768, "display mode 1024x768");
  CURSORINFO cursor;
  ZeroMemory(&cursor, sizeof cursor);
  cursor.cbSize = sizeof cursor;
  check(GetCursorInfo(&cursor) && !(cursor.flags & CURSOR_SHOWING), "cursor hidden");
  int code = -1;
  check(!drain(&code), "no quit waits after a start-up that worked");

  check(shellCreateContext() == ShellContextResult::ready, "GL context ready");
  say("gl: %s / %s / %s\n", reinterpret_cast<const char*>(glGetString(GL_VENDOR)),
      reinterpret_cast<const char*>(glGetString(GL_RENDERER)), reinterpret_cast<const char*>(glGetString(GL_VERSION)));
  GLint depthBits = 0;
  GLboolean doubleBuffered = GL_FALSE;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
  say("gl: %d depth bits, double buffered %d\n", depthBits, doubleBuffered);
  check(depthBits >= 16 && doubleBuffered, "double-buffered with a depth buffer");

  glViewport(0, 0, 1024, 768);
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  uint8_t pixel[4] = {0, 0, 0, 0};
  glReadPixels(512, 384, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  say("gl: cleared pixel %d %d %d\n", pixel[0], pixel[1], pixel[2]);
  check(std::abs(pixel[0] - 51) <= 2 && std::abs(pixel[1] - 102) <= 2 && std::abs(pixel[2] - 153) <= 2,
        "clear colour read back");
  shellSwapBuffers();

  // Glyphs, as the program builds them, printed in white on black.
  const GLuint heavy = glGenLists(256);
  buildGlyphLists("Arial Black", 50, heavy);
  char face[64] = "";
  GetTextFaceA(wglGetCurrentDC(), sizeof face, face);
  const GLuint small = glGenLists(256);
  buildGlyphLists("Arial", 12, small);
  say("glyphs: \"Arial Black\" came out as \"%s\"\n", face);
  // A glyph's list moves the raster position on; list base+255 was never made and moves nothing.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1024, 0, 768, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  GLfloat moved[4][4];
  const GLuint probes[4] = {heavy + 'A', heavy + 254, heavy + 255, heavy + ' '};
  for (int i = 0; i < 4; ++i) {
    glRasterPos2i(100, 400);
    glCallList(probes[i]);
    glGetFloatv(GL_CURRENT_RASTER_POSITION, moved[i]);
  }
  say("glyphs: 'A' advances %.0f, 254 advances %.0f, 255 advances %.0f, space advances %.0f\n", moved[0][0] - 100,
      moved[1][0] - 100, moved[2][0] - 100, moved[3][0] - 100);
  check(moved[0][0] > 120 && moved[1][0] > 110 && moved[2][0] == 100, "glyphs for codes 0-254, none for 255");
  check(moved[3][0] > 105 && moved[3][0] < moved[0][0], "a space moves the raster position on");
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glColor3f(1, 1, 1);
  glRasterPos2i(100, 400);
  glListBase(heavy);
  glCallLists(7, GL_UNSIGNED_BYTE, "VOSTREL");
  GLfloat raster[4] = {0, 0, 0, 0};
  glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
  glRasterPos2i(100, 200);
  glListBase(small);
  glCallLists(11, GL_UNSIGNED_BYTE, "small Arial");
  std::vector<uint8_t> frame(1024 * 768 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
  int lit = 0, top = 0, bottom = 768;
  for (int y = 300; y < 520; ++y)
    for (int x = 0; x < 1024; ++x)
      if (frame[(static_cast<size_t>(y) * 1024 + x) * 3] > 128) {
        ++lit;
        if (y > top) top = y;
        if (y < bottom) bottom = y;
      }
  say("glyphs: text advanced %.0f pixels, %d pixels lit, rows %d-%d\n", raster[0] - 100, lit, bottom, top);
  writePicture(scratch + "\\glyphs.ppm", frame, 1024, 768);
  check(raster[0] - 100 > 200 && raster[0] - 100 < 600, "heavy text advances the raster position");
  check(lit > 1500 && top - bottom > 25 && top - bottom < 70, "heavy text drawn at about 50 pixels");
  shellSwapBuffers();

  // Messages: the quit request and its code, the keys, the close box.
  shellPostQuit(3);
  check(waitQuit(&code, 1000) && code == 3, "posted quit taken with its code");
  shellPostQuit(5);
  shellPostQuit(0);
  check(waitQuit(&code, 1000) && code == 5, "the first quit posted keeps its code");
  int fromThread = 4;
  threadJoin(threadStart(postQuitFromThread, &fromThread, ThreadPriority::normal));
  check(waitQuit(&code, 1000) && code == 4, "quit posted by another thread reaches the main loop");
  PostMessageA(window, WM_KEYDOWN, 'A', 0);
  PostMessageA(window, WM_LBUTTONDOWN, 0, 0);
  check(!waitQuit(&code, 200), "another key and a mouse button change nothing");
  PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
  check(waitQuit(&code, 1000) && code == 0, "Escape posts quit 0");
  PostMessageA(window, WM_CLOSE, 0, 0);
  check(waitQuit(&code, 1000) && code == 0 && IsWindow(window), "closing posts quit 0 and keeps the window");
  // A key pressed on the keyboard goes to the window that has the focus.
  keybd_event(VK_ESCAPE, 0, 0, 0);
  keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
  const bool typed = waitQuit(&code, 2000);
  say("shell: typed Escape gave %s %d\n", typed ? "quit" : "nothing", code);
  check(typed && code == 0, "typed Escape posts quit 0");
}

// ---- MP3

std::vector<int16_t> readRaw(const char* path) {
  std::vector<int16_t> samples;
  FILE* in = std::fopen(path, "rb");
  if (!in) return samples;
  std::fseek(in, 0, SEEK_END);
  samples.resize(static_cast<size_t>(std::ftell(in)) / 2);
  std::fseek(in, 0, SEEK_SET);
  const size_t got = std::fread(samples.data(), 2, samples.size(), in);
  samples.resize(got);
  std::fclose(in);
  return samples;
}

// Mean absolute difference per sample of two stereo streams over a window, b shifted by lag frames.
double difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t frames, long lag) {
  double sum = 0;
  size_t count = 0;
  for (size_t i = from; i < from + frames; ++i) {
    const long j = static_cast<long>(i) + lag;
    if (j < 0 || static_cast<size_t>(j) * 2 + 1 >= b.size() || i * 2 + 1 >= a.size()) continue;
    sum += std::abs(a[i * 2] - b[static_cast<size_t>(j) * 2]) + std::abs(a[i * 2 + 1] - b[static_cast<size_t>(j) * 2 + 1]);
    count += 2;
  }
  return count ? sum / count : 1e9;
}

// The lag (frames of b after a) in -range..range at which b matches a best.
long bestLag(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t frames, long range) {
  long best = 0;
  double bestDifference = 1e18;
  for (long lag = -range; lag <= range; ++lag) {
    const double d = difference(a, b, from, frames, lag);
    if (d < bestDifference) {
      bestDifference = d;
      best = lag;
    }
  }
  return best;
}

void testMp3(const char* music, const char* referencePath, const std::string& scratch) {
  Mp3Decoder* decoder = mp3Open();
  check(decoder != nullptr, "system has an ACM codec for MP3");
  if (!decoder) return;
  MappedFile file;
  mapFile(music, &file);
  std::vector<int16_t> decoded;
  std::vector<int16_t> block(4096 * 2);
  size_t fedAt = 0;
  Mp3Result result = Mp3Result::needMore;
  int rate = 0, channels = 0;
  bool formatKnown = false;
  // Fed in odd pieces, as a file reader would, until the decoder says it is done.
  for (int guard = 0; guard < 1000000 && result != Mp3Result::done && result != Mp3Result::failed; ++guard) {
    uint32_t frames = 0;
    result = mp3Read(decoder, block.data(), 4096, &frames);
    if (!formatKnown && mp3Format(decoder, &rate, &channels)) formatKnown = true;
    decoded.insert(decoded.end(), block.begin(), block.begin() + frames * (channels ? channels : 2));
    if (result == Mp3Result::needMore) {
      const size_t piece = fedAt < file.size ? std::min<size_t>(1000 + fedAt % 777, file.size - fedAt) : 0;
      mp3Feed(decoder, piece ? file.data + fedAt : nullptr, piece);
      fedAt += piece;
    }
  }
  uint32_t lead = 0, padding = 0;
  mp3Trim(decoder, &lead, &padding);
  mp3Close(decoder);
  unmapFile(&file);
  say("mp3: %d Hz, %d channels, %zu frames decoded, lead %u, padding %u\n", rate, channels, decoded.size() / 2, lead,
      padding);
  check(result == Mp3Result::done && formatKnown && rate == 44100 && channels == 2, "whole file decoded to the end");

  FILE* out = std::fopen((scratch + "\\acm.raw").c_str(), "wb");
  if (out) {
    std::fwrite(decoded.data(), 2, decoded.size(), out);
    std::fclose(out);
  }
  const std::vector<int16_t> reference = readRaw(referencePath);
  const size_t referenceFrames = reference.size() / 2;
  const size_t decodedFrames = decoded.size() / 2;
  // Where the reference's first second lies in the untrimmed output, measured, not assumed.
  const long measuredLead = bestLag(reference, decoded, 44100, 8192, 4000);
  const long measuredPadding = static_cast<long>(decodedFrames) - measuredLead - static_cast<long>(referenceFrames);
  say("mp3: reference %zu frames; measured lead %ld, padding %ld\n", referenceFrames, measuredLead, measuredPadding);
  check(measuredLead == static_cast<long>(lead), "reported lead is the measured one");
  check(measuredPadding == static_cast<long>(padding), "reported padding is the measured one");
  if (decodedFrames < lead + padding) return;
  std::vector<int16_t> trimmed(decoded.begin() + lead * 2, decoded.end() - padding * 2);
  check(trimmed.size() == reference.size(), "trimmed output as long as the gapless decode");
  // The two decoders round differently by a unit or so; one frame of misalignment costs hundreds.
  const long lagStart = bestLag(reference, trimmed, 44100, 8192, 3000);
  const double first = difference(reference, trimmed, 0, 44100, 0);
  const double last = difference(reference, trimmed, referenceFrames - 44100, 44100, 0);
  const double all = difference(reference, trimmed, 0, referenceFrames, 0);
  const double offByOne = difference(reference, trimmed, 44100, 44100, 1);
  say("mp3: after trimming, lag %ld; mean difference %.3f in the first second, %.3f in the last, %.3f in all, "
      "%.3f one frame off\n", lagStart, first, last, all, offByOne);
  check(lagStart == 0 && first < 4.0 && last < 4.0 && all < 4.0, "trimmed output lines up with the gapless decode");
}

// ---- sound output

std::atomic<uint64_t> pulledFrames{0};
std::atomic<uint32_t> pulls{0};
double phase = 0;

void pullSine(int16_t* frames, uint32_t count, void*) {
  for (uint32_t i = 0; i < count; ++i) {
    const auto value = static_cast<int16_t>(8000 * std::sin(phase));
    phase += 2 * 3.14159265358979 * 440 / 44100;
    frames[i * 2] = value;
    frames[i * 2 + 1] = value;
  }
  pulledFrames += count;
  ++pulls;
}

void testAudio() {
  int rate = 0;
  const bool opened = audioOutOpen(44100, &rate);
  check(opened && rate == 44100, "sound output opened at 44100 Hz");
  if (!opened) return;
  audioOutStart(pullSine, nullptr);
  const uint64_t start = clockMilliseconds();
  uint32_t largest = 0;
  bool sane = true, backwards = false;
  uint64_t lastPlayed = 0, playedAtHalf = 0, timeAtHalf = 0;
  for (;;) {
    const uint64_t before = pulledFrames;
    const uint32_t unplayed = audioOutUnplayed();
    const uint64_t after = pulledFrames;
    const uint64_t now = clockMilliseconds() - start;
    if (unplayed > after) sane = false;
    const uint64_t played = before > unplayed ? before - unplayed : 0;
    if (played + 1024 < lastPlayed) backwards = true;  // one pull may land between the two reads
    if (played > lastPlayed) lastPlayed = played;
    if (unplayed > largest) largest = unplayed;
    if (timeAtHalf == 0 && now >= 2000) {
      timeAtHalf = now;
      playedAtHalf = played;
    }
    if (now % 500 < 7) say("audio: at %llu ms, %llu pulled, %u unplayed\n", static_cast<unsigned long long>(now),
                           static_cast<unsigned long long>(after), unplayed);
    if (now >= 4000) break;
    Sleep(7);
  }
  const uint64_t elapsed = clockMilliseconds() - start;
  const double playRate = (lastPlayed - playedAtHalf) * 1000.0 / static_cast<double>(elapsed - timeAtHalf);
  say("audio: %llu frames pulled in %u pulls, %llu played in %llu ms; %.0f frames a second in the last %llu ms; "
      "unplayed up to %u\n",
      static_cast<unsigned long long>(pulledFrames.load()), pulls.load(), static_cast<unsigned long long>(lastPlayed),
      static_cast<unsigned long long>(elapsed), playRate, static_cast<unsigned long long>(elapsed - timeAtHalf), largest);
  check(sane && largest <= 6 * 1024 && largest > 0, "unplayed never more than was pulled or queued");
  check(!backwards, "played position never goes back");
  check(lastPlayed * 1000 <= (elapsed + 50) * 44100, "no more played than time has passed");
  // Under Wine the first second or two may play slow while PulseAudio settles; a busy machine slows it more.
  check(playRate > 44100 * 0.85 && playRate < 44100 * 1.1, "once running, the output plays 44100 frames a second");
  audioOutStop();
  const uint32_t pullsAtStop = pulls;
  Sleep(200);
  check(pulls == pullsAtStop, "no pull after the output stopped");
  audioOutClose();
}

// The windowed build's path: a framed window whose client area is 1024x768, and size changes reported.
int testWindowed() {
  check(shellCreateWindow("Vostrel", 1024, 768, false), "windowed: window made");
  const HWND window = FindWindowA("Lines", "Vostrel");
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  check((style & WS_CAPTION) && (style & WS_THICKFRAME) && !(style & WS_POPUP), "windowed: framed window");
  int width = 0, height = 0;
  shellClientSize(&width, &height);
  RECT outer = {0, 0, 0, 0};
  GetWindowRect(window, &outer);
  say("windowed: client %dx%d, outer %ldx%ld\n", width, height, outer.right - outer.left, outer.bottom - outer.top);
  // On a desktop no larger than the window, the system keeps the frame on the screen and the client loses
  // the height of the caption.
  check(width == 1024 && (height == 768 || outer.bottom - outer.top >= 768), "windowed: client area 1024x768 where it fits");
  check(outer.right - outer.left > 1024 && outer.bottom - outer.top > 768, "windowed: outer window larger by its frame");
  CURSORINFO cursor;
  ZeroMemory(&cursor, sizeof cursor);
  cursor.cbSize = sizeof cursor;
  check(GetCursorInfo(&cursor) && (cursor.flags & CURSOR_SHOWING), "windowed: cursor shown");
  check(shellCreateContext() == ShellContextResult::ready, "windowed: GL context ready");
  int code = -1;
  ShellMessage message = ShellMessage::none;
  for (int i = 0; i < 1000 && (message = shellTakeMessage(&code, &width, &height)) != ShellMessage::none; ++i)
    if (message == ShellMessage::resized) break;
  check(message != ShellMessage::resized, "windowed: sizes from before the context are not reported");
  SetWindowPos(window, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
  RECT client;
  GetClientRect(window, &client);
  bool resized = false;
  for (int i = 0; i < 1000 && !resized; ++i) {
    message = shellTakeMessage(&code, &width, &height);
    resized = message == ShellMessage::resized;
    if (message == ShellMessage::none) Sleep(1);
  }
  say("windowed: resized to %dx%d (client %ldx%ld)\n", width, height, client.right, client.bottom);
  check(resized && width == client.right && height == client.bottom, "windowed: a size change is reported with the client size");
  PostMessageA(window, WM_CLOSE, 0, 0);
  check(waitQuit(&code, 1000) && code == 0, "windowed: closing posts quit 0");
  shellShutdown();
  say("%d passed, %d failed\n", passed, failed);
  return failed ? 1 : 0;
}

// A display mode that cannot be had: its box (dismissed by the test's key press), then a quit with code 1,
// and the desktop given back.
int testBadMode() {
  const uint64_t start = clockMilliseconds();
  check(shellCreateWindow("Vostrel", 1000, 700, true), "bad mode: window made all the same");
  say("bad mode: start-up took %llu ms (the box waited for its key)\n",
      static_cast<unsigned long long>(clockMilliseconds() - start));
  int code = -1;
  check(waitQuit(&code, 2000) && code == 1, "bad mode: quit with code 1 waits");
  shellShutdown();
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = sizeof mode;
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  check(mode.dmPelsWidth == 1024 && mode.dmPelsHeight == 768, "bad mode: display mode as it was");
  say("%d passed, %d failed\n", passed, failed);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--windowed") == 0) return testWindowed();
  if (argc == 2 && std::strcmp(argv[1], "--bad-mode") == 0) return testBadMode();
  if (argc < 4) {
    say("usage: win32_smoke MUSIC.mp3 REFERENCE.raw SCRATCH_DIR\n");
    return 2;
  }
  const std::string scratch = argv[3];
  testClock();
  testThreads();
  testFileMap(argv[1], scratch);
  testShell(scratch);
  testMp3(argv[1], argv[2], scratch);
  testAudio();
  showFailure(FailureStyle::line, "smoke line");

  shellShutdown();
  check(FindWindowA("Lines", "Vostrel") == nullptr, "shutdown closes the window");
  say("%d passed, %d failed\n", passed, failed);
  endRun(failed ? 1 : 0);
}
