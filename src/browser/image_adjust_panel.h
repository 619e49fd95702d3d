#pragma once

#include <QPoint>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QSlider;

namespace strixc::display {
class VideoDisplay;
}

namespace strixc::shell {
class PictureButton;
}

namespace strixc::browser {

// The floating panel of the archive browser that adjusts the selected camera: its motion-search
// sensitivity (the browser's) and, in the video display, its filter mode ("Sharpness", -1..1),
// brightness, contrast and saturation (-100..100 each). Every slider acts at once. "Defaults"
// returns the four picture values of the camera to 0 and leaves the sensitivity; "X" hides the
// panel. The three filter buttons ("Log filter", "Median filter", "Equalize histogram") are shown
// greyed: the display has no such filters. A left-button drag anywhere on the panel's body moves
// it.
//
// A frameless tool window owned by `owner` (it stays above it, goes with it and is created
// hidden); the owner shows and hides it. `display` must outlive the panel. UI thread only.
//
// Controls by object name: sliders "sensitivity", "sharpness", "brightness", "contrast",
// "saturation"; the value text "sensitivity_value"; buttons "defaults", "close", "log_filter",
// "median_filter", "equalize_histogram".
class ImageAdjustPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDefaultSensitivity = 50;

  // The browser's motion-search sensitivity of a camera, 0..100.
  using SensitivityGetter = std::function<int(int camera)>;
  using SensitivitySetter = std::function<void(int camera, int value)>;

  ImageAdjustPanel(display::VideoDisplay* display, QWidget* owner);

  // Where the detection slider reads and writes. Without them it shows kDefaultSensitivity and
  // its changes go nowhere. Takes effect at the next SetCamera.
  void SetSensitivityHooks(SensitivityGetter get, SensitivitySetter set);

  // Reloads the sliders for camera `camera` (0..15) from the display and the sensitivity getter;
  // the sliders then act on it. Outside 0..15 the sliders are greyed and act on nothing.
  void SetCamera(int camera);
  int Camera() const { return camera_; }

  // "Defaults": contrast, brightness, saturation and filter mode of the camera to 0, then the
  // sliders reloaded.
  void RestoreDefaults();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum Slider { kSensitivity, kSharpness, kBrightness, kContrast, kSaturation, kSliderCount };

  void BuildControls();
  void Reload();
  void OnSliderMoved(Slider which, int value);
  bool ValidCamera() const;

  display::VideoDisplay* display_;
  SensitivityGetter getSensitivity_;
  SensitivitySetter setSensitivity_;
  int camera_ = -1;
  // Set while Reload moves the sliders, so that loading writes nothing back.
  bool loading_ = false;
  std::array<QSlider*, kSliderCount> sliders_{};
  QLabel* sensitivityText_ = nullptr;

  // Drag state: the window position and the cursor (screen coordinates) at the press.
  bool dragging_ = false;
  QPoint dragWindowPos_;
  QPoint dragCursorPos_;
};

}  // namespace strixc::browser
