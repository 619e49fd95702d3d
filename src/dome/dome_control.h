#pragma once

// The dome command set: one object that turns each dome operation into one request for the
// selected camera and hands it to a sink. The panel, the key and joystick bindings and strixc-tool
// all send through it, so that a given action leaves the program as the same bytes whichever way
// it was asked for.

#include <array>
#include <cstdint>
#include <vector>

#include "dome/dome_request.h"
#include "dome/dome_sink.h"

namespace strixc::dome {

// Not thread-safe: the user-interface thread only. The sink must outlive it (or be reset to null).
class DomeControl {
 public:
  explicit DomeControl(DomeSink* sink = nullptr);

  void SetSink(DomeSink* sink) { sink_ = sink; }
  DomeSink* Sink() const { return sink_; }

  // The camera of every following request; 1 until the first camera is selected.
  void SetCamera(uint16_t camera) { camera_ = camera; }
  uint16_t Camera() const { return camera_; }

  void Move(double pan, double tilt, double zoom, double focus, double iris);
  void Step(double pan, double tilt, double zoom, double focus, double iris);
  void RecallPreset(unsigned position);
  void SavePreset(unsigned position);
  void Browse(unsigned first, unsigned last, unsigned holdMs);
  void EndBrowse();
  void RecordPattern(unsigned pattern);
  void EndPatternRecording();
  void RunPattern(unsigned pattern = 0);
  void SetAuxOutput(unsigned state);
  void ShowMenu();
  void SetPosition(const std::array<double, 6>& values);

  // Sends a zero move to every camera whose last move from here was not a stop, so that a dome
  // never keeps turning after its input went away (focus lost, joystick pulled, panel closed,
  // connection torn down). Returns whether any stop was sent.
  bool StopAll();
  // Whether the last move sent to some camera was not a stop.
  bool AnyMoving() const;
  // Forgets which domes move (after the connection is gone, nothing can be stopped any more).
  void ForgetMoves();

  // Sends a prepared request with the current camera filled in; code 0 is dropped.
  void Send(uint16_t command, const std::array<double, 6>& p);

 private:
  void Deliver(const DomeRequest& request);

  DomeSink* sink_;
  uint16_t camera_ = 1;
  std::vector<uint16_t> moving_;  // cameras whose last move was not a stop
};

}  // namespace strixc::dome
