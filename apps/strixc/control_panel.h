#pragma once

#include <QLabel>
#include <QObject>
#include <array>
#include <functional>

#include "net/io_point.h"
#include "shell/capacity_indicator.h"
#include "shell/picture_button.h"

namespace strixc::station {

// The main window's control panel: the command buttons down the left edge with the seven layout
// buttons under them, the status line across the top, and down the right edge the alarm inputs,
// the relay outputs, the archive-capacity indicator and the logo. Its widgets are children of the
// window's client area; it places them for the client size.
class ControlPanel : public QObject {
  Q_OBJECT

 public:
  enum Command {
    kRecording, kAddressBook, kCameraSettings, kArchives, kConnection, kProgramSettings,
    kDomeSettings, kDomePanel, kCommandCount
  };

  explicit ControlPanel(QWidget* client);

  void SetVisible(bool visible);
  // Places the right-hand column for the client width.
  void Layout(int clientWidth);
  // The layout buttons that fit the server's camera count, shown and enabled.
  void PlaceLayoutButtons(int cameraCount);
  bool LayoutButtonEnabled(int k) const;
  void SetStatus(const QString& text);
  QString Status() const { return status_->text(); }
  // The recording button's picture: off, on, the dimmed half of the blink, or interrupted (wanted,
  // but no connection stands), which has its own tooltip.
  enum class RecordingPicture { kOff, kOn, kDim, kInterrupted };
  void SetRecordingPicture(RecordingPicture picture);
  RecordingPicture GetRecordingPicture() const { return recordingPicture_; }
  // `state` 0, 1, or net::IoPoint::kUnknown (shown as neither on nor off).
  void SetInput(int index, int state, const QString& name);
  void SetOutput(int index, int state, const QString& name);
  // What the indicator or button shows.
  int InputState(int index) const { return inputStates_.at(index); }
  int OutputState(int index) const { return outputStates_.at(index); }
  shell::CapacityIndicator& Capacity() { return *capacity_; }
  shell::PictureButton& Button(Command command) { return *buttons_[command]; }

 signals:
  void CommandClicked(int command);
  void LayoutClicked(int k);
  void OutputClicked(int index);

 private:
  QWidget* client_;
  std::array<shell::PictureButton*, kCommandCount> buttons_{};
  std::array<shell::PictureButton*, 7> layoutButtons_{};
  std::array<QLabel*, net::kInputCount> inputs_{};
  std::array<shell::PictureButton*, net::kOutputCount> outputs_{};
  QLabel* status_ = nullptr;
  QLabel* logo_ = nullptr;
  shell::CapacityIndicator* capacity_ = nullptr;
  RecordingPicture recordingPicture_ = RecordingPicture::kOff;
  std::array<int, net::kInputCount> inputStates_;
  std::array<int, net::kOutputCount> outputStates_;
  bool visible_ = true;
  int cameraCount_ = 16;
};

}  // namespace strixc::station
