// The sound output in a browser: Web Audio, pulled by a script processor that the page's own thread runs
// between frames. What has been heard is told by the context's output timestamp, so the sync points come
// when their sound leaves the speakers.
#include "platform/audio_out.h"

#include <emscripten.h>

#include "platform/failure.h"

namespace {

constexpr uint32_t pullFrames = 4096;  // a script processor's buffer: 93 ms at 44.1 kHz
int16_t pulled[pullFrames * 2];
AudioPull pullFunction = nullptr;
void* pullUser = nullptr;

}  // namespace

// Called by the script processor for each buffer it needs: the core's frames, copied in place.
extern "C" EMSCRIPTEN_KEEPALIVE int16_t* webAudioPull(uint32_t count) {
  if (count > pullFrames) count = pullFrames;
  if (pullFunction) pullFunction(pulled, count, pullUser);
  return pulled;
}

EM_JS(int, webAudioOpen, (int rate), {
  var Context = window.AudioContext || window.webkitAudioContext;
  if (!Context) return 0;
  var context;
  try {
    context = new Context({sampleRate: rate, latencyHint: 'interactive'});
  } catch (e) {
    context = new Context();
  }
  Module['vostrelAudio'] = {context: context, processor: null, pulled: 0, lastFrames: 0, lastStart: 0};
  return context.sampleRate;
});

EM_JS(void, webAudioStart, (uint32_t frames), {
  var audio = Module['vostrelAudio'];
  var processor = audio.context.createScriptProcessor(frames, 0, 2);
  processor.onaudioprocess = function(event) {
    var out = event.outputBuffer;
    var count = out.length;
    var at = Module['_webAudioPull'](count) >> 1;
    var left = out.getChannelData(0), right = out.getChannelData(1);
    for (var i = 0; i < count; ++i) {
      left[i] = HEAP16[at + 2 * i] / 32768;
      right[i] = HEAP16[at + 2 * i + 1] / 32768;
    }
    audio.pulled += count;
    audio.lastFrames = count;
    audio.lastStart = event.playbackTime;
  };
  processor.connect(audio.context.destination);
  audio.processor = processor;
  audio.context.resume();
});

EM_JS(uint32_t, webAudioUnplayed, (), {
  var audio = Module['vostrelAudio'];
  if (!audio || audio.pulled == 0) return 0;
  var context = audio.context;
  // The context time being heard now: the output timestamp, carried on to this moment.
  var heardAt;
  var stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
  if (stamp && stamp.performanceTime > 0)
    heardAt = stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
  else
    heardAt = context.currentTime - (context.outputLatency || context.baseLatency || 0);
  // Buffers play back to back: the latest starts at its playback time, those before end there.
  var heard = audio.pulled - audio.lastFrames + (heardAt - audio.lastStart) * context.sampleRate;
  if (heard < 0) heard = 0;
  if (heard > audio.pulled) heard = audio.pulled;
  return Math.round(audio.pulled - heard);
});

EM_JS(void, webAudioStop, (), {
  var audio = Module['vostrelAudio'];
  if (!audio) return;
  if (audio.processor) {
    audio.processor.onaudioprocess = null;
    audio.processor.disconnect();
  }
  audio.context.close();
  Module['vostrelAudio'] = null;
});

bool audioOutOpen(int rate, int* actualRate) {
  const int opened = webAudioOpen(rate);
  if (opened <= 0) {
    showFailure(FailureStyle::line, "no sound output: the browser has no Web Audio");
    return false;
  }
  *actualRate = opened;
  return true;
}

void audioOutStart(AudioPull pull, void* user) {
  pullFunction = pull;
  pullUser = user;
  webAudioStart(pullFrames);
}

uint32_t audioOutUnplayed() { return webAudioUnplayed(); }

void audioOutStop() {
  webAudioStop();
  pullFunction = nullptr;
}

void audioOutClose() { webAudioStop(); }
