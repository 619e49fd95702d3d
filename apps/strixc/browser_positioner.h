#pragma once

#include <QObject>
#include <cstdint>

namespace strixc::browser {
class ArchiveBrowser;
}

namespace strixc::display {
class VideoDisplay;
}

namespace strixc::playback {
class PlaybackSource;
}

namespace strixc::station {

// Puts an archive browser at a time and in a layout once its video area has a size (--browse, the
// gallery): the layout (1..7; 0 keeps the browser's), the whole day of `time` in view, and the
// first camera recorded moved to `time` (0: the source's latest recording) and selected.
//
// Until the video area has a size the display has no cells, so no camera counts as shown and a
// seek would decode no picture: the positioner waits for the area's first size, then chooses the
// layout again, which tells the source the cameras shown.
//
// A child of `window` (it goes with it); `display` and `source` must outlive the window. Create it
// before the window's loop runs: it acts from that loop. UI thread only.
class BrowserPositioner : public QObject {
 public:
  BrowserPositioner(browser::ArchiveBrowser& window, display::VideoDisplay& display,
                    playback::PlaybackSource& source, uint64_t time, int layout);

  bool Done() const { return done_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void TryNow();

  browser::ArchiveBrowser& window_;
  display::VideoDisplay& display_;
  playback::PlaybackSource& source_;
  const uint64_t time_;
  const int layout_;
  bool watching_ = false;
  bool done_ = false;
};

}  // namespace strixc::station
