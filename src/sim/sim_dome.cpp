#include "sim/sim_dome.h"

#include <algorithm>
#include <cmath>

#include "dome/dome_request.h"

namespace strixc::sim {

namespace {

namespace code = dome::code;

double Seconds(SimDome::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double WrapPan(double pan) { return std::remainder(pan, 360.0); }

double ClampTilt(double tilt) { return std::clamp(tilt, -SimDome::kMaxTilt, SimDome::kMaxTilt); }

double ClampZoom(double zoom) { return std::clamp(zoom, 1.0, SimDome::kMaxZoom); }

double Unit(double v) { return std::clamp(v, -1.0, 1.0); }

// A preset or pattern number: a whole number within range, else -1.
int NumberOf(double v) {
  const double n = std::round(v);
  return n >= 0.0 && n <= SimDome::kMaxNumber ? static_cast<int>(n) : -1;
}

bool AllFinite(const net::DomeCommandRecord& r) {
  return std::all_of(r.params.begin(), r.params.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

void SimDome::Apply(const net::DomeCommandRecord& request, Clock::time_point now) {
  if (!AllFinite(request)) return;
  Advance(now);
  const auto& p = request.params;
  switch (request.code) {
    case code::kMove:
    case code::kStep:
    case code::kRecallPreset:
    case code::kSetPosition:
      EndAutomatics();
      RecordIntoPattern(request);
      ApplyMotion(request);
      break;
    case code::kSavePreset:
      if (const int n = NumberOf(p[0]); n >= 0) presets_[n] = position_;
      break;
    case code::kBrowse:
      EndAutomatics();
      // The record carries the last position first.
      StartTour(NumberOf(p[1]), NumberOf(p[0]), p[2]);
      break;
    case code::kEndBrowse:
      tour_.active = false;
      break;
    case code::kRecordPattern: {
      const int n = NumberOf(p[0]);
      if (n < 0) break;
      EndRecording();
      EndAutomatics();
      recording_.active = true;
      recording_.number = n;
      recording_.start = last_;
      recording_.pattern = Pattern{position_, {}, {}};
      // A dome already on the move replays that move from the start.
      if (!speeds_.Zero()) {
        net::DomeCommandRecord move;
        move.camera = request.camera;
        move.code = code::kMove;
        move.params = {speeds_.pan, speeds_.tilt, speeds_.zoom, 0.0, 0.0, 0.0};
        RecordIntoPattern(move);
      }
      break;
    }
    case code::kEndPatternRecording:
      EndRecording();
      break;
    case code::kRunPattern: {
      const int n = NumberOf(p[0]);
      EndRecording();
      EndAutomatics();
      if (n >= 0) StartReplay(n);
      break;
    }
    default:  // the auxiliary output, the menu, unknown codes: nothing to show
      break;
  }
}

DomeView SimDome::ViewAt(Clock::time_point now) {
  Advance(now);
  return DomeView{position_.pan, position_.tilt, position_.zoom, !speeds_.Zero()};
}

void SimDome::Advance(Clock::time_point to) {
  if (!started_) {
    started_ = true;
    last_ = to;
    return;
  }
  if (to <= last_) return;
  SkipWholeRounds(to);
  // The tour's stops and the pattern's moves fall between the last time and `to`: each is applied
  // at its own moment, with the motion integrated up to it, so the result does not depend on how
  // often the dome is looked at.
  while (true) {
    Clock::time_point event = to;
    enum { kNone, kTour, kMove, kLoop } kind = kNone;
    if (tour_.active && tour_.due <= event) event = tour_.due, kind = kTour;
    if (replay_.active) {
      const Pattern& pattern = patterns_[replay_.number];
      const Clock::time_point due = replay_.next < pattern.moves.size()
                                        ? replay_.loopStart + pattern.moves[replay_.next].offset
                                        : replay_.loopStart + pattern.length;
      if (due < event || (due == event && kind == kNone)) {
        event = due;
        kind = replay_.next < pattern.moves.size() ? kMove : kLoop;
      }
    }
    Integrate(event - last_);
    last_ = std::max(last_, event);
    if (kind == kNone) return;
    if (kind == kTour) {
      GoToNextTourStop();
      tour_.due += tour_.hold;
    } else if (kind == kMove) {
      const Pattern& pattern = patterns_[replay_.number];
      ApplyMotion(pattern.moves[replay_.next++].request);
    } else {
      const Pattern& pattern = patterns_[replay_.number];
      speeds_ = Speeds{};
      Set(pattern.start);
      replay_.next = 0;
      replay_.loopStart += pattern.length;
    }
  }
}

void SimDome::SkipWholeRounds(Clock::time_point to) {
  // Nobody looked at the dome for a long while: the rounds of a tour or a pattern that ended long
  // before `to` leave no trace but where they end, so they are skipped rather than played one by
  // one (a pattern of a few milliseconds would otherwise cost millions of steps after an hour).
  if (replay_.active) {
    const Pattern& pattern = patterns_[replay_.number];
    const auto rounds = (to - replay_.loopStart) / pattern.length;
    if (rounds >= 2) {
      replay_.loopStart += (rounds - 1) * pattern.length;
      replay_.next = 0;
      speeds_ = Speeds{};
      Set(pattern.start);
      last_ = replay_.loopStart;
    }
  }
  if (tour_.active && to > tour_.due) {
    const auto stops = (to - tour_.due) / tour_.hold;
    if (stops >= 2) {
      tour_.next = (tour_.next + static_cast<size_t>(stops - 1)) % tour_.stops.size();
      tour_.due += (stops - 1) * tour_.hold;
      last_ = std::max(last_, tour_.due - tour_.hold);
    }
  }
}

void SimDome::Integrate(Clock::duration elapsed) {
  if (elapsed <= Clock::duration::zero() || speeds_.Zero()) return;
  const double s = Seconds(elapsed);
  position_.pan = WrapPan(position_.pan + speeds_.pan * kPanSpeed * s);
  position_.tilt = ClampTilt(position_.tilt + speeds_.tilt * kTiltSpeed * s);
  position_.zoom = ClampZoom(position_.zoom * std::exp2(-speeds_.zoom * kZoomSpeed * s));
}

void SimDome::ApplyMotion(const net::DomeCommandRecord& request) {
  const auto& p = request.params;
  switch (request.code) {
    case code::kMove:
      // Focus and iris (p3, p4) are not pictured.
      speeds_ = Speeds{Unit(p[0]), Unit(p[1]), Unit(p[2])};
      break;
    case code::kStep:
      speeds_ = Speeds{};
      Set(Position{position_.pan + Unit(p[0]) * kPanStep, position_.tilt + Unit(p[1]) * kTiltStep,
                   position_.zoom * std::exp2(-Unit(p[2]) * kZoomStep)});
      break;
    case code::kRecallPreset:
      if (const auto it = presets_.find(NumberOf(p[0])); it != presets_.end()) {
        speeds_ = Speeds{};
        Set(it->second);
      }
      break;
    case code::kSetPosition: {
      // p0 pan -1..1 over the whole turn, p1 tilt -1 (up) .. 1 (down), p2 zoom 0 (widest) .. 1.
      speeds_ = Speeds{};
      Position target = position_;
      if (p[0] != kUnchanged) target.pan = p[0] * 180.0;
      if (p[1] != kUnchanged) target.tilt = Unit(p[1]) * kMaxTilt;
      if (p[2] != kUnchanged) target.zoom = std::pow(kMaxZoom, std::clamp(p[2], 0.0, 1.0));
      Set(target);
      break;
    }
    default:
      break;
  }
}

void SimDome::Set(const Position& position) {
  position_ = Position{WrapPan(position.pan), ClampTilt(position.tilt), ClampZoom(position.zoom)};
}

void SimDome::EndAutomatics() {
  tour_.active = false;
  if (replay_.active) {
    replay_.active = false;
    speeds_ = Speeds{};
  }
}

void SimDome::StartTour(int first, int last, double holdMs) {
  if (first < 0 || last < 0) return;
  if (first > last) std::swap(first, last);
  tour_.stops.clear();
  for (auto it = presets_.lower_bound(first); it != presets_.end() && it->first <= last; ++it)
    tour_.stops.push_back(it->first);
  // A tour without saved positions to visit leaves the dome where it is.
  if (tour_.stops.empty()) return;
  speeds_ = Speeds{};
  tour_.active = true;
  tour_.next = 0;
  tour_.hold = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(std::clamp(holdMs, kMinHoldMs, kMaxHoldMs)));
  tour_.due = last_;
  GoToNextTourStop();
  tour_.due += tour_.hold;
}

void SimDome::GoToNextTourStop() {
  // A stop whose preset was saved again meanwhile shows its new position.
  Set(presets_[tour_.stops[tour_.next]]);
  tour_.next = (tour_.next + 1) % tour_.stops.size();
}

void SimDome::RecordIntoPattern(const net::DomeCommandRecord& request) {
  if (!recording_.active || recording_.pattern.moves.size() >= kMaxPatternMoves) return;
  recording_.pattern.moves.push_back(PatternMove{last_ - recording_.start, request});
}

void SimDome::EndRecording() {
  if (!recording_.active) return;
  recording_.active = false;
  recording_.pattern.length = last_ - recording_.start;
  if (replay_.active && replay_.number == recording_.number) EndAutomatics();
  patterns_[recording_.number] = std::move(recording_.pattern);
  recording_.pattern = Pattern{};
}

void SimDome::StartReplay(int number) {
  const auto it = patterns_.find(number);
  if (it == patterns_.end()) return;
  const Pattern& pattern = it->second;
  speeds_ = Speeds{};
  Set(pattern.start);
  // A pattern of no length is one jump to its start and its moves at once, not a loop.
  if (pattern.length <= Clock::duration::zero()) {
    for (const PatternMove& move : pattern.moves) ApplyMotion(move.request);
    return;
  }
  replay_.active = true;
  replay_.number = number;
  replay_.loopStart = last_;
  replay_.next = 0;
}

}  // namespace strixc::sim
