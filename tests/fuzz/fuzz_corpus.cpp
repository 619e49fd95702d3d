// Writes the seed corpus of every fuzz target into DIR/<target>/ from real messages, frames and
// files: the simulator's scenes and delta encoder, the protocol's builders, the recorder and the
// settings export. Run by hand after a format changes, and commit what it writes:
//
//   cmake --build build/debug --target fuzz_corpus && build/debug/bin/fuzz_corpus tests/fuzz/corpus

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "archive_image.h"
#include "display/screen_layouts.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "net/wire.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"
#include "settings_json.h"
#include "shell/address_book.h"
#include "shell/address_entry.h"
#include "sim/delta_encoder.h"
#include "sim/scene.h"
#include "tools/client_settings.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace {

using namespace strixc;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path g_root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = g_root / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  std::printf("%s/%s %zu\n", target.c_str(), name.c_str(), bytes.size());
}

void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Message(Bytes& stream, uint32_t code, const net::Payload& payload) {
  uint8_t header[net::kHeaderSize];
  net::wire::EncodeHeader(header, code, static_cast<uint32_t>(payload.size()));
  stream.insert(stream.end(), header, header + net::kHeaderSize);
  stream.insert(stream.end(), payload.begin(), payload.end());
}

// A camera's first frames as the simulator sends them: a key frame, then delta frames while its
// objects move.
struct EncodedFrame {
  net::FrameKind kind;
  Bytes data;
};
std::vector<EncodedFrame> CameraFrames(int camera, int width, int height, int count) {
  static video::JpegCodec codec;
  sim::Scene scene(camera, width, height, "Camera " + std::to_string(camera + 1));
  sim::DeltaEncoder encoder(codec);
  video::PictureBuffer picture;
  std::vector<EncodedFrame> frames;
  // Start while an object crosses the room, so the deltas carry blocks.
  uint64_t time = uint64_t{1} << 56;
  for (int step = 0; step < 4000 && !scene.Moving(time); ++step) time += 2500000;
  for (int i = 0; i < count; ++i, time += 1000000) {
    scene.Render(time, picture);
    Bytes data;
    const net::FrameKind kind = encoder.Encode(picture, i == 0, 25, 25, time, data);
    if (kind != net::FrameKind::kNone) frames.push_back({kind, data});
  }
  return frames;
}

Bytes EventText(const std::string& text) {
  Bytes data(4, 0);
  data[0] = 1;
  data.insert(data.end(), text.begin(), text.end());
  data.push_back(0);
  return data;
}

// --- Streams of both channels ---------------------------------------------------------------------

void NetStreams() {
  using namespace net;
  const uint64_t t0 = uint64_t{1} << 56;
  ServerDescription d;
  d.accepted = 1;
  d.version = kMaxProtocolVersion;
  d.cameraMask = 0xF;
  d.inputMask = 0xFF;
  d.outputMask = 0x3;
  d.cameraCount = 4;
  d.name = "Warehouse recorder";

  // Video channel, server to client: login reply, names, I/O state, live frames of two cameras, a
  // remote-archive frame and event, an archive map and a bookmark notice.
  Bytes video{0};
  Message(video, video_in::kLoginReply, BuildServerDescription(d));
  for (uint8_t c = 0; c < 4; ++c) {
    Message(video, video_in::kCameraInfo, BuildCameraInfo({c, c == 2u, "Gate " + std::to_string(c)}));
  }
  Message(video, video_in::kIoState, BuildIoState({0x5, 0x1}));
  Message(video, video_in::kInputName, BuildPointName({0, "Door contact"}));
  Message(video, video_in::kOutputName, BuildPointName({1, "Siren"}));
  Message(video, video_in::kKeepAlive, Payload{0});
  for (int camera = 0; camera < 2; ++camera) {
    uint64_t time = t0;
    for (const auto& frame : CameraFrames(camera, 64, 48, 3)) {
      FrameHeader h;
      h.time = time += 400000;
      h.camera = static_cast<uint8_t>(camera);
      h.flags = static_cast<uint16_t>((frame.kind == FrameKind::kKey ? frame_flag::kKey : frame_flag::kDelta) |
                                      frame_flag::kLive);
      Message(video, video_in::kFrame, BuildFrame(h, frame.data.data(), frame.data.size()));
    }
  }
  const Bytes text = EventText("Motion in zone 2");
  FrameHeader event;
  event.time = t0 + 5000000;
  event.camera = 1;
  event.flags = frame_flag::kEvent | frame_flag::kRemote | frame_flag::kMarker;
  Message(video, video_in::kFrame, BuildFrame(event, text.data() + 4, text.size() - 4));
  ArchiveMap map;
  map.start = t0;
  map.end = t0 + (uint64_t{600} << 23);
  map.time3 = map.start;
  map.time4 = map.end;
  for (int i = 0; i < 200; ++i) {
    map.lists[0].push_back(static_cast<uint16_t>(i < 50 ? 0 : 0xF));
    map.lists[1].push_back(static_cast<uint16_t>(i % 7 == 0 ? 2 : 0));
    map.lists[2].push_back(static_cast<uint16_t>(i * 37 % 5));
  }
  map.values = {t0, t0 + 1, t0 + 99};
  Message(video, video_in::kArchiveMap, BuildArchiveMap(map));
  Message(video, video_in::kBookmarkNotice, BuildBookmarkNotice({t0 + 77, "Delivery at the gate"}));
  Write("net_stream", "video_channel", video);

  // Control channel, server to client: the login reply, the replies and server events. Bit 0 of
  // the first byte: the tighter limit of a waiting request.
  Bytes control{1};
  Message(control, control::kLoginReply, BuildServerDescription(d));
  Message(control, control::kSetOutputReply, BuildReplyByte(1));
  Message(control, control::kServerEvent, BuildServerEvent({server_event::kInputOn, 3}));
  Message(control, control::kDomeCommandReply, BuildReplyByte(1));
  Message(control, control::kArchiveRange, BuildArchiveRange({0xF, t0, t0 + 123456789}));
  Message(control, control::kServerEvent, BuildServerEvent({server_event::kCameraChanged, 2}));
  Message(control, control::kBookmarkEditReply, BuildReplyByte(0));
  Write("net_stream", "control_channel", control);

  // Both channels, client to server, as the simulator reads them.
  Bytes requests{6};
  Message(requests, video_out::kLogin, BuildLogin({"operator", "secret"}, true));
  Message(requests, video_out::kInfoRequest, BuildInfoRequest(info_kind::kCamera, 3));
  Message(requests, video_out::kSetQuality, BuildSetQuality(25, 30));
  Message(requests, video_out::kVisibleCameras, BuildVisibleCameras(0xF));
  Message(requests, video_out::kTransmitSwitch, BuildTransmitSwitch(true));
  Message(requests, video_out::kKeyFrameRequest, BuildKeyFrameRequest(0x3));
  Message(requests, video_out::kArchiveOpen, BuildArchiveOpen(true));
  Message(requests, video_out::kArchiveMapRequest, BuildArchiveMapRequest({600, t0, t0 + (uint64_t{600} << 23)}));
  Message(requests, video_out::kPlaybackRequest, BuildPlaybackRequest({1, 7, 0x3, 0, t0}));
  Message(requests, video_out::kPlaybackControl, BuildPlaybackControl(t0 + 5));
  Message(requests, control::kLogin, BuildLogin({"operator", "secret"}, false));
  Message(requests, control::kSetOutput, BuildSetOutput(1, true));
  DomeCommandRecord dome;
  dome.camera = 2;
  dome.code = 5;
  dome.params = {0.5, -0.25, 1, 0, 0, 0};
  Message(requests, control::kDomeCommand, BuildDomeCommand(dome));
  Message(requests, control::kArchiveRangeRequest, BuildArchiveRangeRequest());
  Message(requests, control::kBookmarkEdit, BuildBookmarkEdit({bookmark_op::kAdd, t0 + 77, "Delivery"}));
  Write("net_stream", "client_requests", requests);
}

// --- Frames of one camera ----------------------------------------------------------------------------

void DecoderStreams() {
  struct Case {
    const char* name;
    int camera, width, height, frames;
    uint8_t sensitivity;
    uint16_t area[4];
  };
  const Case cases[] = {
      {"small_motion", 0, 64, 48, 5, 60, {0, 0, 10000, 10000}},
      {"cif_no_motion", 5, 176, 144, 4, 0, {0, 0, 0, 0}},
      {"odd_size_area", 9, 100, 75, 4, 90, {2000, 3000, 8000, 9000}},
  };
  for (const Case& c : cases) {
    Bytes out{c.sensitivity};
    for (uint16_t v : c.area) {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    }
    for (const auto& frame : CameraFrames(c.camera, c.width, c.height, c.frames)) {
      out.push_back(static_cast<uint8_t>(frame.kind));
      PutU32(out, static_cast<uint32_t>(frame.data.size()));
      out.insert(out.end(), frame.data.begin(), frame.data.end());
    }
    const Bytes event = EventText("Input 3: door opened");
    out.push_back(3);
    PutU32(out, static_cast<uint32_t>(event.size()));
    out.insert(out.end(), event.begin(), event.end());
    Write("frame_decoder", c.name, out);
  }
}

// --- JPEG streams ------------------------------------------------------------------------------------

void JpegStreams(const fs::path& testData) {
  video::JpegCodec codec;
  const int sizes[][2] = {{64, 48}, {33, 17}, {8, 8}};
  for (const auto& size : sizes) {
    sim::Scene scene(3, size[0], size[1], "Lobby");
    video::PictureBuffer picture;
    scene.Render(uint64_t{1} << 56, picture);
    Bytes stream;
    codec.Encode(picture.Bits(), size[0], size[1], 50, stream);
    Write("jpeg_codec", "scene_" + std::to_string(size[0]) + "x" + std::to_string(size[1]), stream);
  }
  // The decoder tests' streams of other encoders and layouts: subsampling, restart markers,
  // progressive, grey, CMYK and broken ones.
  for (const auto& entry : fs::directory_iterator(testData)) {
    if (entry.path().extension() != ".jpg") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Write("jpeg_codec", entry.path().stem().string(), bytes);
  }
}

// --- Archive files -------------------------------------------------------------------------------------

Bytes ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void ArchiveFiles() {
  using namespace archive;
  std::string pattern = (fs::temp_directory_path() / "fuzz_corpus_XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return;
  const std::string data = pattern;
  const std::string folder = data + "/loc";
  ::mkdir(folder.c_str(), 0700);
  {
    ArchiveDatabase db(data);
    db.MarkLocationDeleted(0);
    db.ApplyLocation(0, {}, {}, {}, {}, true);
    db.AddLocation(folder, 2 * kMiB, kMiB, 0);
    std::vector<ArchiveFileInfo> remove, create;
    db.PlanLocation(0, &remove, &create);
    db.ApplyLocation(0, remove, create, {}, {}, true);
    db.Open(false);
    ArchiveRecorder recorder;
    recorder.Attach(&db);
    recorder.SetEnabled(true);
    uint64_t now = uint64_t{1} << 56;
    recorder.SetClock([&] { return now; });

    const std::string first = db.Files()[0].path;
    Write("archive_file", "empty", fuzz::CompactImage(ReadWhole(first), 0, fuzz::ImageLength::kMinimum));
    recorder.SwitchRecording(true, 3);
    // Three cameras, key and delta frames, spread over several level-0 summary slots, and events.
    const auto frames = CameraFrames(1, 32, 24, 6);
    for (int i = 0; i < 18; ++i) {
      now += uint64_t{3} << 22;
      const auto& frame = frames[i % frames.size()];
      recorder.RecordFrame(i % 3, frame.data.data(), frame.data.size(), frame.kind == net::FrameKind::kKey);
      if (i == 9) recorder.RecordEvent(1, 1, "Input 2: motion");
    }
    recorder.SwitchRecording(false, 3);
    recorder.Detach();
    db.Close();

    const Bytes file = ReadWhole(first);
    const uint32_t count = GetU32(file.data() + kHeaderRecordCount);
    Write("archive_file", "recorded", fuzz::CompactImage(file, count, fuzz::ImageLength::kMinimum));
    Write("archive_file", "recorded_truncated", fuzz::CompactImage(file, count, fuzz::ImageLength::kTruncated));
  }
  fs::remove_all(data);
}

// --- Settings -----------------------------------------------------------------------------------------

std::vector<shell::AddressEntry> SampleEntries() {
  std::vector<shell::AddressEntry> entries;
  for (int i = 0; i < shell::AddressBook::kDemoEntryCount; ++i) entries.push_back(shell::AddressBook::DemoEntry(i));
  shell::AddressEntry polish;
  polish.name = "Magazyn \xC5\x81\xC3\xB3\x64\xC5\xBA";
  polish.serverAddress = "192.168.7.20";
  polish.port = "9100";
  polish.userName = "J\xC3\xB3zef";
  polish.password = "has\xC5\x82o";
  entries.push_back(polish);
  shell::AddressEntry longName;
  longName.name = std::string(300, 'N');  // a 16-bit length prefix
  longName.serverAddress = "recorder.example";
  longName.userName = "admin";
  entries.push_back(longName);
  return entries;
}

void SettingsFiles() {
  settings::SettingsDatabase db;
  db.OpenInMemory();
  tools::ClientSettings client("/home/operator/.local/share/strixc");
  client.SetKeyQuality(40);
  client.SetDefaultDir("/home/operator/Pictures");
  client.Save(db);
  shell::AddressBook book;
  for (const auto& entry : SampleEntries()) book.Set(-1, entry);
  book.Save(db);
  // The display's layouts, of which only the current one (9) is kept: all 17 make a large seed.
  {
    settings::SettingsDatabase all;
    all.OpenInMemory();
    display::ScreenLayouts layouts;
    layouts.SetLayout(9);
    layouts.PlaceCamera(9, 4, 0);
    layouts.SaveLayouts(all, "MainDisplay");
    for (const settings::TreeValue& v : all.Export().values) {
      if (v.name == "Layout" || v.path.ends_with("\\Layout09"))
        db.WriteValue(v.path, v.name, v.kind, v.data.data(), v.data.size());
    }
  }
  settings::SettingsKey display(db, "Display");
  display.WriteDword("Layout", 4);
  const uint8_t placement[] = {0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x00, 0x04, 0, 0, 0x00, 0x03, 0, 0};
  display.WriteBinary("WindowPlacement", placement, sizeof placement);
  settings::SettingsKey(db, "Languages").WriteString("Current", "Polski");
  const QByteArray json = tool::TreeToJson(db.Export());
  Write("settings_import", "exported_tree", Bytes(json.begin(), json.end()));
  const char kSmall[] =
      "{\"format\":\"strixc-settings\",\"version\":1,\"keys\":[\"Software\",\"Software\\\\VELTA\"],"
      "\"values\":[{\"key\":\"Software\\\\VELTA\\\\Strix-C\\\\1.0\",\"name\":\"Version\",\"kind\":\"dword\","
      "\"value\":4},{\"key\":\"Software\\\\VELTA\\\\Strix-C\\\\1.0\",\"name\":\"Address0\",\"kind\":\"binary\","
      "\"value\":\"0464656d6f0464656d6f04393030300931323"
      "72e302e302e3104446f6f72\"},{\"key\":\"Software\\\\VELTA\\\\Strix-C\\\\1.0\\\\ClientSettings\","
      "\"name\":\"DefaultDir\",\"kind\":\"string\",\"data\":\"2f746d7000\"}]}";
  Write("settings_import", "small_tree", Bytes(kSmall, kSmall + sizeof kSmall - 1));

  // The address book: u32 Version, then (kind, u16 length, bytes) per stored entry.
  Bytes stored;
  PutU32(stored, shell::AddressBook::kVersion);
  for (const auto& entry : SampleEntries()) {
    const Bytes bytes = shell::EncodeAddressEntry(entry);
    stored.push_back(0);
    stored.push_back(static_cast<uint8_t>(bytes.size()));
    stored.push_back(static_cast<uint8_t>(bytes.size() >> 8));
    stored.insert(stored.end(), bytes.begin(), bytes.end());
  }
  Write("address_book", "saved_book", stored);
  // An old tree (Version 0) with one entry whose length uses the 32-bit prefix.
  Bytes old;
  PutU32(old, 0);
  Bytes huge = {1, 'a', 0, 0, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0, 'h', 'o', 's', 't', '1', 4, 'N', 'a', 'm', 'e'};
  old.push_back(0);
  old.push_back(static_cast<uint8_t>(huge.size()));
  old.push_back(0);
  old.insert(old.end(), huge.begin(), huge.end());
  Write("address_book", "old_book_long_prefix", old);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_corpus DIR\n");
    return 2;
  }
  g_root = argv[1];
  NetStreams();
  DecoderStreams();
  JpegStreams(fs::path(STRIXC_SOURCE_DIR) / "tests/video/data");
  ArchiveFiles();
  SettingsFiles();
  return 0;
}
