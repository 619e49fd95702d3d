#pragma once

// One dome request as it goes to the server: the camera, the command code and six parameters. The
// bytes on the wire (52 of them, little-endian) are the protocol's DomeCommand record; this header
// only names the codes and what each carries.

#include <array>
#include <cstdint>

namespace strixc::dome {

namespace code {
constexpr uint16_t kNone = 0;  // never sent
constexpr uint16_t kMove = 1;  // p0..p4 pan, tilt, zoom, focus, iris speeds in -1..1; all 0 stops
constexpr uint16_t kStep = 2;  // the same five values; one step
constexpr uint16_t kRecallPreset = 11;         // p0 position
constexpr uint16_t kSavePreset = 12;           // p0 position
constexpr uint16_t kBrowse = 13;               // p0 last, p1 first, p2 hold time in ms
constexpr uint16_t kEndBrowse = 14;
constexpr uint16_t kRecordPattern = 15;        // p0 pattern
constexpr uint16_t kEndPatternRecording = 16;
constexpr uint16_t kRunPattern = 17;           // p0 pattern (0 when not named)
constexpr uint16_t kSetAuxOutput = 18;         // p0 state
constexpr uint16_t kShowMenu = 21;
constexpr uint16_t kSetPosition = 23;          // p0..p5
}  // namespace code

struct DomeRequest {
  uint16_t camera = 0;
  uint16_t command = code::kNone;
  std::array<double, 6> p{};

  bool operator==(const DomeRequest&) const = default;
  // A continuous move (code 1) with all five speeds 0.
  bool IsStop() const;
  // A continuous move with at least one speed that is not 0.
  bool IsMovement() const;
};

}  // namespace strixc::dome
