#pragma once

#include <cstdint>
#include <functional>

#include "shell/dialog_frame.h"

class QLabel;
class QSlider;

namespace strixc::tools {
class ClientSettings;
}

namespace strixc::browser {

// The "Video quality" dialog of the archive browser on a server's archive: the JPEG qualities
// (10..100) the server is asked to use for key frames ("Key frame") and delta frames ("Delta
// frame"), starting at the client settings' values. Closing it ("Close", Escape, the window
// closing) stores both values in the client settings and hands them to the sender when either
// slider ends on a value other than the one it started at; otherwise nothing is stored or sent.
//
// `settings` must outlive the dialog. The sender runs on the UI thread, inside the closing; the
// dialog knows nothing of the connection. Controls by object name: sliders "key_quality" and
// "delta_quality", value texts "key_quality_value" and "delta_quality_value", button "close".
class VideoQualityDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  static constexpr int kMinQuality = 10;
  static constexpr int kMaxQuality = 100;

  using QualitySender = std::function<void(uint32_t keyQuality, uint32_t deltaQuality)>;

  VideoQualityDialog(tools::ClientSettings& settings, QualitySender send, QWidget* parent = nullptr);

  // True once the closing stored and sent new values.
  bool Sent() const { return sent_; }

  // Every way of closing ends here.
  void done(int result) override;

 private:
  tools::ClientSettings& settings_;
  QualitySender send_;
  QSlider* key_ = nullptr;
  QSlider* delta_ = nullptr;
  int startKey_ = 0;
  int startDelta_ = 0;
  bool sent_ = false;
};

// Runs the dialog modally over `parent`; true when it stored and sent new values.
bool RunVideoQuality(tools::ClientSettings& settings, VideoQualityDialog::QualitySender send, QWidget* parent);

}  // namespace strixc::browser
