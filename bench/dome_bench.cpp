// From a key press to the dome request on the wire: DomeInput::HandleKey (Left arrow, down) through
// DomeControl, the request queue, DomeLink and the control channel to the moment the in-process
// simulator's thread has taken the request off its socket. 200 press and release pairs against a
// dome of the simulator on loopback; the median press.
//
// Baseline of the same run: the same 60 bytes (header and 52-byte record) written by hand on a plain
// socket logged in to the same simulator, timed to the same moment in the same way. The ratio says
// what our layers add to the loopback's own cost.

#include <QCoreApplication>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "dome/dome_control.h"
#include "dome/dome_input.h"
#include "dome/dome_link.h"
#include "dome/dome_request_queue.h"
#include "net/connection_controller.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "sim/sim_server.h"
#include "sim/sim_server_thread.h"

using namespace strixc;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPresses = 200;
constexpr int kVkLeft = 0x25;
constexpr int kWaitMs = 10000;

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Runs the event loop without sleeping until `done`; false after kWaitMs.
bool SpinUntil(const std::function<bool()>& done) {
  const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!done()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  return true;
}

QByteArray Message(uint32_t code, const net::Payload& payload) {
  QByteArray bytes;
  const auto put = [&bytes](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>(v >> (8 * i)));
  };
  put(code);
  put(static_cast<uint32_t>(payload.size()));
  bytes.append(reinterpret_cast<const char*>(payload.data()), static_cast<qsizetype>(payload.size()));
  return bytes;
}

// The press latencies through the station's path.
std::vector<double> MeasureKeys(sim::SimServerThread& sim) {
  net::ConnectionController controller;
  controller.Connect(QStringLiteral("127.0.0.1"), sim.VideoPort(), "demo", "demo");
  if (!SpinUntil([&] { return controller.GetState() == net::ConnectionController::State::kStarted; })) {
    std::fprintf(stderr, "bench_dome: the connection did not start\n");
    return {};
  }
  dome::DomeLink link(controller.Connection());
  dome::DomeRequestQueue queue(link);
  dome::DomeControl control(&queue);
  control.SetCamera(0);
  dome::DomeInput input(&control, nullptr);
  sim::SimServer& server = sim.Server();
  const auto idle = [&] { return !queue.InFlight() && queue.Waiting() == 0; };

  std::vector<double> presses;
  for (int i = 0; i < kPresses; ++i) {
    const uint64_t before = server.DomeCommandCount();
    const auto t0 = Clock::now();
    input.HandleKey(kVkLeft, 0, true);
    if (!SpinUntil([&] { return server.DomeCommandCount() > before; })) break;
    presses.push_back(Ms(Clock::now() - t0));
    if (i == 0) {
      // What is timed must be the binding's move: Left is pan 0.5 by default.
      const net::DomeCommandRecord first = server.DomeCommands().back();
      if (first.code != 1 || first.params[0] != 0.5) {
        std::fprintf(stderr, "bench_dome: Left sent code %u pan %g\n", unsigned{first.code}, first.params[0]);
        return {};
      }
    }
    input.HandleKey(kVkLeft, 0, false);
    if (!SpinUntil([&] { return server.DomeCommandCount() >= before + 2 && idle(); })) break;
  }
  controller.Teardown();
  return presses;
}

// The same bytes written by hand on a plain logged-in socket.
std::vector<double> MeasureRaw(sim::SimServerThread& sim) {
  QTcpSocket socket;
  socket.connectToHost(QStringLiteral("127.0.0.1"), sim.ControlPort());
  if (!socket.waitForConnected(kWaitMs)) return {};
  socket.write(Message(net::control::kLogin, net::BuildLogin({"demo", "demo"}, false)));
  socket.flush();
  QByteArray received;
  const size_t loginReply = net::kHeaderSize + net::kServerDescriptionSize;
  while (static_cast<size_t>(received.size()) < loginReply && socket.waitForReadyRead(kWaitMs))
    received += socket.readAll();
  if (static_cast<size_t>(received.size()) < loginReply) return {};
  received.remove(0, static_cast<qsizetype>(loginReply));

  net::DomeCommandRecord move;
  move.code = 1;
  move.params = {0.5, 0, 0, 0, 0, 0};
  const QByteArray press = Message(net::control::kDomeCommand, net::BuildDomeCommand(move));
  const QByteArray release = Message(net::control::kDomeCommand, net::BuildDomeCommand({0, 1, {}}));
  const size_t reply = net::kHeaderSize + 1;
  sim::SimServer& server = sim.Server();
  std::vector<double> writes;
  for (int i = 0; i < kPresses; ++i) {
    const uint64_t before = server.DomeCommandCount();
    const auto t0 = Clock::now();
    socket.write(press);
    socket.flush();
    if (!SpinUntil([&] { return server.DomeCommandCount() > before; })) break;
    writes.push_back(Ms(Clock::now() - t0));
    socket.write(release);
    socket.flush();
    // Both replies, so that each round starts with nothing in flight, as the key rounds do.
    if (!SpinUntil([&] {
          received += socket.readAll();
          return static_cast<size_t>(received.size()) >= 2 * reply;
        }))
      break;
    received.remove(0, static_cast<qsizetype>(2 * reply));
  }
  return writes;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  sim::SimConfig config;
  config.videoPort = 0;
  config.cameraCount = 1;
  config.domeMask = 0x1;
  config.inputPeriodMs = 0;
  sim::SimServerThread sim(config);
  if (!sim.Start()) {
    std::fprintf(stderr, "bench_dome: %s\n", qPrintable(sim.ErrorText()));
    return 1;
  }
  // Alternating halves, so that a slow moment of the machine does not fall on one side only.
  std::vector<double> keys, raw;
  for (int round = 0; round < 2; ++round) {
    const std::vector<double> k = MeasureKeys(sim), r = MeasureRaw(sim);
    keys.insert(keys.end(), k.begin(), k.end());
    raw.insert(raw.end(), r.begin(), r.end());
  }
  sim.Stop();
  if (keys.size() < 2 * kPresses || raw.size() < 2 * kPresses) {
    std::fprintf(stderr, "bench_dome: only %zu key and %zu raw rounds completed\n", keys.size(), raw.size());
    return 1;
  }
  const double key = Percentile(keys, 0.5), plain = Percentile(raw, 0.5);
  std::printf("%zu presses of Left (vk 0x25) against a simulated dome on loopback (medians)\n", keys.size());
  std::printf("key to wire:       %8.3f ms (90%%: %.3f ms)\n", key, Percentile(keys, 0.9));
  std::printf("raw 60-byte write: %8.3f ms\n", plain);
  std::printf("RESULT dome_key_to_wire_ms %.3f ms target <= 5\n", key);
  std::printf("RESULT dome_key_to_wire_vs_raw_write %.2f ratio target <= 3\n", plain > 0 ? key / plain : 0.0);
  return 0;
}
