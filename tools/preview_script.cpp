// The preview's places in the script: counts and times turned into music frames, and back.
#include "preview_script.h"

#include <algorithm>
#include <cstdio>

namespace {

// Digits only, at least one; false on anything else or past limit.
bool readNumber(const std::string& text, uint64_t limit, uint64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > limit) return false;
  *value = n;
  return true;
}

}  // namespace

bool parseStartAt(const char* text, StartAt* at, std::string* error) {
  const std::string whole = text ? text : "";
  *error = "--at takes a count (1 or more) or a time as M:SS.mmm, not \"" + whole + "\"";
  uint64_t value = 0;
  if (whole.find_first_of(":.") == std::string::npos) {
    if (!readNumber(whole, 1000000, &value) || value < 1) return false;
    *at = StartAt{true, static_cast<int32_t>(value), 0};
    return true;
  }
  // [M:]S[.f], with two digits of seconds after minutes and one to three of a fraction.
  std::string rest = whole;
  uint64_t minutes = 0, seconds = 0, fraction = 0;
  const size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    if (!readNumber(rest.substr(0, colon), 600, &minutes)) return false;
    rest = rest.substr(colon + 1);
    if (rest.size() < 2 || (rest.size() > 2 && rest[2] != '.')) return false;
  }
  const size_t dot = rest.find('.');
  if (!readNumber(rest.substr(0, dot), colon == std::string::npos ? 36000 : 59, &seconds)) return false;
  if (dot != std::string::npos) {
    const std::string digits = rest.substr(dot + 1);
    if (digits.size() > 3 || !readNumber(digits, 999, &fraction)) return false;
    for (size_t i = digits.size(); i < 3; ++i) fraction *= 10;
  }
  *at = StartAt{false, 0, (minutes * 60 + seconds) * 1000 + fraction};
  return true;
}

ScriptPlace placeAtFrame(const std::vector<Marker>& markers, uint64_t frame) {
  ScriptPlace place;
  place.frame = frame;
  for (const Marker& marker : markers) {
    if (marker.sample > frame) break;
    ++place.count;
    place.caption = marker.name;
    place.onFrame += marker.sample == frame;
  }
  return place;
}

ScriptPlace placeOfCount(const std::vector<Marker>& markers, int32_t count) {
  if (count <= 1 || markers.empty()) return placeAtFrame(markers, 0);
  const size_t raising = std::min(static_cast<size_t>(count) - 2, markers.size() - 1);
  return placeAtFrame(markers, markers[raising].sample);
}

size_t nextMarker(const std::vector<Marker>& markers, int32_t count) {
  return count < 1 ? 0 : std::min(static_cast<size_t>(count) - 1, markers.size());
}

std::string clockText(uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu.%03llu", static_cast<unsigned long long>(milliseconds / 60000),
                static_cast<unsigned long long>(milliseconds / 1000 % 60),
                static_cast<unsigned long long>(milliseconds % 1000));
  return text;
}
