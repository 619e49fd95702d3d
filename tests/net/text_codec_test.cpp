#include "net/text_codec.h"

#include <gtest/gtest.h>

#include <atomic>

#include "fake_peer.h"
#include "net/connection_controller.h"
#include "wait.h"

namespace strixc::net {
namespace {

using test::FakePeer;
using test::PeerMessage;
using test::WaitUntil;

TextCodec Codec(const char* name) {
  std::string error;
  const auto codec = TextCodec::Create(name, &error);
  EXPECT_TRUE(codec) << name << ": " << error;
  return codec ? *codec : TextCodec();
}

std::string Bytes(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

// "Wejście" as a Polish server writes it.
const std::string kWejscie1250 = Bytes({0x57, 0x65, 0x6A, 0x9C, 0x63, 0x69, 0x65});

// ---------------------------------------------------------------------------------------------
// The converter

TEST(TextCodecTest, PolishLettersTravelAsWindows1250Bytes) {
  const TextCodec cp1250 = Codec("Windows-1250");
  EXPECT_EQ(cp1250.Encode("Józef"), Bytes({0x4A, 0xF3, 0x7A, 0x65, 0x66}));
  EXPECT_EQ(cp1250.Decode(kWejscie1250), "Wejście");
  // A decomposed "ó" (o and a combining acute) is the same letter.
  EXPECT_EQ(cp1250.Encode("Jo\xCC\x81zef"), Bytes({0x4A, 0xF3, 0x7A, 0x65, 0x66}));
  // The same letter has another byte in another code page.
  EXPECT_EQ(Codec("ISO-8859-2").Decode("Wej\xB6" "cie"), "Wejście");
  EXPECT_EQ(cp1250.Decode("Wej\xB6" "cie"), "Wej¶cie");
  EXPECT_EQ(Codec("windows-1250").Name(), "windows-1250");
}

TEST(TextCodecTest, MissingCharactersBecomeQuestionMarksAndEveryByteDecodes) {
  const TextCodec latin1 = Codec("ISO-8859-1");
  EXPECT_EQ(latin1.Encode("a\xC5\x9B" "b\xE2\x82\xAC" "c\xF0\x9F\x98\x80"), "a?b?c?") << "ś, €, an emoji";
  EXPECT_EQ(latin1.Encode("x\xC3"), "x?") << "malformed UTF-8";
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(TextCodec().DecodeToQString(all).size(), 255);
  EXPECT_EQ(TextCodec().Decode(Bytes({0x80, 0x81})), "\xE2\x82\xAC\xEF\xBF\xBD") << "€, then U+FFFD";
  // EBCDIC is single-byte too: its own '?' stands in.
  EXPECT_EQ(Codec("IBM037").Encode("\xC5\x9B"), Bytes({0x6F}));
}

TEST(TextCodecTest, OnlySingleByteCodePagesAreAccepted) {
  for (const char* name : {"UTF-8", "utf8", "UTF-16", "UTF-32", "UTF-7", "SHIFT_JIS", "GB18030", "BIG5",
                           "ISO-2022-JP"}) {
    std::string error;
    EXPECT_FALSE(TextCodec::Create(name, &error)) << name;
    EXPECT_EQ(error, std::string("'") + name + "' is not a single-byte code page");
  }
  for (const char* name : {"no-such-page", "", "CP1252//TRANSLIT", "CP1252 "}) {
    std::string error;
    EXPECT_FALSE(TextCodec::Create(name, &error)) << name;
    EXPECT_EQ(error, std::string("unknown text encoding '") + name + "'");
  }
  for (const char* name : {"KOI8-R", "CP852", "Windows-1258"}) EXPECT_TRUE(TextCodec::Create(name)) << name;
}

TEST(TextCodecTest, BuiltInDefaultIsThePlatformsWindows1252) {
  const TextCodec platform = Codec("Windows-1252");
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(TextCodec().Decode(byte), platform.Decode(byte)) << b;
  }
}

// ---------------------------------------------------------------------------------------------
// At the protocol boundary: logins are encoded, then cut; the server's names are decoded.

TEST(ServerTextTest, LoginsAreEncodedBeforeTheCutAndNamesDecoded) {
  FakePeer peer;
  PeerMessage videoLogin, controlLogin;
  std::atomic<bool> served{false};
  peer.Run([&](FakePeer& p) {
    ServerDescription d = FakePeer::Description();
    d.name = Bytes({0xA3, 0xF3, 0x64, 0x9F});  // "Łódź"
    const int video = p.AcceptVideo();
    if (!p.Read(video, &videoLogin)) return;
    p.Write(video, video_in::kLoginReply, BuildServerDescription(d));
    const int control = p.AcceptControl();
    if (!p.Read(control, &controlLogin)) return;
    p.Write(control, control::kLoginReply, BuildServerDescription(d));
    p.Write(video, video_in::kCameraInfo, BuildCameraInfo({1, 0, kWejscie1250}));
    p.Write(video, video_in::kInputName, BuildPointName({0, kWejscie1250}));
    served = true;
    p.WaitClosed(video);
  });

  ConnectionController controller;
  controller.SetTextCodec(Codec("Windows-1250"));
  std::string thirtyS;  // 30 "ś": 60 bytes of UTF-8, 30 of Windows-1250
  for (int i = 0; i < 30; ++i) thirtyS += "\xC5\x9B";
  controller.Connect("127.0.0.1", peer.Port(), "Józef", thirtyS);
  ASSERT_TRUE(WaitUntil([&] { return served && controller.Points().inputs[0].Name() == "Wejście"; }));

  std::string field(30, '\0');
  field.replace(0, 5, Bytes({0x4A, 0xF3, 0x7A, 0x65, 0x66}));
  const std::string password = std::string(29, '\x9C') + '\0';
  for (const PeerMessage* login : {&videoLogin, &controlLogin}) {
    ASSERT_GE(login->payload.size(), 60u);
    EXPECT_EQ(std::string(login->payload.begin(), login->payload.begin() + 30), field);
    EXPECT_EQ(std::string(login->payload.begin() + 30, login->payload.begin() + 60), password);
  }
  EXPECT_EQ(controller.Connection().ServerName(), "Łódź");
  EXPECT_TRUE(WaitUntil([&] { return controller.CameraName(1) == "Wejście"; }));
  controller.Teardown();
}

}  // namespace
}  // namespace strixc::net
