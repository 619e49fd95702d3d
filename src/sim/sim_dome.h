#pragma once

// One simulated dome: where it points, how it moves, what it remembers. The server keeps one per
// dome camera and feeds it every dome request of that camera; the camera's picture is painted from
// the view it gives for the moment of each frame (DomeScene).
//
// Units: pan in degrees, positive to the left of the home position, wrapped to -180..180; tilt in
// degrees, positive down, kept within -kMaxTilt..kMaxTilt; zoom as a magnification, 1 (widest) to
// kMaxZoom. The conventions of the requests hold throughout: a positive pan speed turns left, a
// positive tilt speed moves down and a negative zoom speed zooms in.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "net/messages.h"

namespace strixc::sim {

// Where a dome points, and whether it is on the move.
struct DomeView {
  double pan = 0.0;
  double tilt = 0.0;
  double zoom = 1.0;
  bool moving = false;
};

// Not thread-safe: the owner locks (SimServer keeps its domes under a lock of their own).
class SimDome {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr double kMaxTilt = 45.0;
  static constexpr double kMaxZoom = 8.0;
  // Full speed (1.0): degrees a second for pan and tilt; doublings of the magnification a second.
  static constexpr double kPanSpeed = 60.0;
  static constexpr double kTiltSpeed = 30.0;
  static constexpr double kZoomSpeed = 1.0;
  // One step at full value (code 2 with 1.0): degrees, and doublings of the magnification.
  static constexpr double kPanStep = 10.0;
  static constexpr double kTiltStep = 5.0;
  static constexpr double kZoomStep = 0.5;
  // Preset positions and patterns are numbered 0..kMaxNumber; larger numbers are ignored.
  static constexpr int kMaxNumber = 255;
  // A pattern keeps at most this many moves; later ones are not recorded.
  static constexpr size_t kMaxPatternMoves = 1000;
  // The hold time of a tour is clamped to this range (milliseconds).
  static constexpr double kMinHoldMs = 100.0;
  static constexpr double kMaxHoldMs = 3600000.0;
  // Position parameters of the absolute position request (code 23) that leave an axis as it is.
  static constexpr double kUnchanged = -2.0;

  // Carries out one request at `now` (the dome first moves on to `now`). Requests with values that
  // are not finite, and codes it does not know, change nothing.
  void Apply(const net::DomeCommandRecord& request, Clock::time_point now);
  // Moves the dome on to `now` and returns where it points. `now` never goes backwards for the
  // dome: an earlier time is taken as the last one.
  DomeView ViewAt(Clock::time_point now);

  // For the log and for tests.
  bool Touring() const { return tour_.active; }
  bool Replaying() const { return replay_.active; }
  bool Recording() const { return recording_.active; }
  bool HasPreset(int number) const { return presets_.count(number) != 0; }

 private:
  struct Position {
    double pan = 0.0;
    double tilt = 0.0;
    double zoom = 1.0;
  };
  struct Speeds {
    double pan = 0.0;
    double tilt = 0.0;
    double zoom = 0.0;
    bool Zero() const { return pan == 0.0 && tilt == 0.0 && zoom == 0.0; }
  };
  // One recorded request of a pattern, `offset` after the recording started.
  struct PatternMove {
    Clock::duration offset{};
    net::DomeCommandRecord request;
  };
  struct Pattern {
    Position start;
    std::vector<PatternMove> moves;
    Clock::duration length{};
  };

  // Integrates the speeds from the last time to `to`; plays the tour and the pattern meanwhile.
  void Advance(Clock::time_point to);
  void SkipWholeRounds(Clock::time_point to);
  void Integrate(Clock::duration elapsed);
  // The requests that move the dome, whether asked for by a client or replayed from a pattern.
  void ApplyMotion(const net::DomeCommandRecord& request);
  void Set(const Position& position);
  // Ends a running tour and pattern replay (another command took over).
  void EndAutomatics();
  void StartTour(int first, int last, double holdMs);
  void GoToNextTourStop();
  void RecordIntoPattern(const net::DomeCommandRecord& request);
  void EndRecording();
  void StartReplay(int number);

  Position position_;
  Speeds speeds_;
  Clock::time_point last_{};
  bool started_ = false;
  std::map<int, Position> presets_;
  std::map<int, Pattern> patterns_;
  struct {
    bool active = false;
    std::vector<int> stops;  // saved presets in the tour's range, in order
    size_t next = 0;
    Clock::duration hold{};
    Clock::time_point due{};
  } tour_;
  struct {
    bool active = false;
    int number = 0;
    Clock::time_point start{};
    Pattern pattern;
  } recording_;
  struct {
    bool active = false;
    int number = 0;
    Clock::time_point loopStart{};
    size_t next = 0;  // the next move of the pattern to apply
  } replay_;
};

}  // namespace strixc::sim
