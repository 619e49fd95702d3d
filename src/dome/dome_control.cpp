#include "dome/dome_control.h"

#include <algorithm>

namespace strixc::dome {

DomeControl::DomeControl(DomeSink* sink) : sink_(sink) {}

void DomeControl::Move(double pan, double tilt, double zoom, double focus, double iris) {
  Send(code::kMove, {pan, tilt, zoom, focus, iris, 0.0});
}

void DomeControl::Step(double pan, double tilt, double zoom, double focus, double iris) {
  Send(code::kStep, {pan, tilt, zoom, focus, iris, 0.0});
}

void DomeControl::RecallPreset(unsigned position) { Send(code::kRecallPreset, {double(position)}); }

void DomeControl::SavePreset(unsigned position) { Send(code::kSavePreset, {double(position)}); }

void DomeControl::Browse(unsigned first, unsigned last, unsigned holdMs) {
  // The last position comes first: that is the record's order.
  Send(code::kBrowse, {double(last), double(first), double(holdMs)});
}

void DomeControl::EndBrowse() { Send(code::kEndBrowse, {}); }

void DomeControl::RecordPattern(unsigned pattern) { Send(code::kRecordPattern, {double(pattern)}); }

void DomeControl::EndPatternRecording() { Send(code::kEndPatternRecording, {}); }

void DomeControl::RunPattern(unsigned pattern) { Send(code::kRunPattern, {double(pattern)}); }

void DomeControl::SetAuxOutput(unsigned state) { Send(code::kSetAuxOutput, {double(state)}); }

void DomeControl::ShowMenu() { Send(code::kShowMenu, {}); }

void DomeControl::SetPosition(const std::array<double, 6>& values) { Send(code::kSetPosition, values); }

void DomeControl::Send(uint16_t command, const std::array<double, 6>& p) {
  if (command == code::kNone) return;
  DomeRequest request;
  request.camera = camera_;
  request.command = command;
  request.p = p;
  Deliver(request);
}

void DomeControl::Deliver(const DomeRequest& request) {
  if (request.command == code::kMove) {
    const auto it = std::find(moving_.begin(), moving_.end(), request.camera);
    if (request.IsStop()) {
      if (it != moving_.end()) moving_.erase(it);
    } else if (it == moving_.end()) {
      moving_.push_back(request.camera);
    }
  }
  if (sink_) sink_->Submit(request);
}

bool DomeControl::StopAll() {
  if (moving_.empty()) return false;
  // Each stop goes to the camera that moves, whichever camera is selected now.
  const std::vector<uint16_t> cameras = moving_;
  for (uint16_t camera : cameras) {
    DomeRequest stop;
    stop.camera = camera;
    stop.command = code::kMove;
    Deliver(stop);
  }
  return true;
}

bool DomeControl::AnyMoving() const { return !moving_.empty(); }

void DomeControl::ForgetMoves() { moving_.clear(); }

}  // namespace strixc::dome
