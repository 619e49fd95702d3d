#include "browser/panel_gallery_pages.h"

#include <memory>

#include "browser/archive_path_dialog.h"
#include "browser/image_adjust_panel.h"
#include "browser/open_archives_dialog.h"
#include "browser/video_quality_dialog.h"
#include "display/video_display.h"
#include "tools/client_settings.h"

namespace strixc::browser {

namespace {

// Keeps the sample objects alive exactly as long as the window that refers to them.
class SampleOwner : public QObject {
 public:
  display::VideoDisplay display;
  tools::ClientSettings settings{"/var/lib/strixc"};
};

std::unique_ptr<QWidget> ImagePanelPage() {
  auto* owner = new SampleOwner;
  owner->display.SetBrightness(2, 15);
  owner->display.SetContrast(2, -20);
  owner->display.SetFilterMode(2, 1);
  auto panel = std::make_unique<ImageAdjustPanel>(&owner->display, nullptr);
  owner->setParent(panel.get());
  panel->SetSensitivityHooks([](int) { return 65; }, [](int, int) {});
  panel->SetCamera(2);
  return panel;
}

std::unique_ptr<QWidget> VideoQualityPage() {
  auto* owner = new SampleOwner;
  owner->settings.SetKeyQuality(60);
  owner->settings.SetDeltaQuality(35);
  auto dialog = std::make_unique<VideoQualityDialog>(owner->settings, nullptr);
  owner->setParent(dialog.get());
  return dialog;
}

}  // namespace

std::vector<shell::GalleryPage> PanelGalleryPages() {
  return {
      {QStringLiteral("open_archives"), [] { return std::make_unique<OpenArchivesDialog>(); }},
      {QStringLiteral("archive_path"),
       [] { return std::make_unique<ArchivePathDialog>(QStringLiteral("/var/lib/strixc/DevazUzerFiles")); }},
      {QStringLiteral("image_panel"), ImagePanelPage},
      {QStringLiteral("video_quality"), VideoQualityPage},
  };
}

}  // namespace strixc::browser
