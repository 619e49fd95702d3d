#include "tools/snapshot_dialog.h"

#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "display/video_display.h"
#include "shell/message_box.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "video/picture.h"

namespace strixc::tools {

namespace text = shell::text;

namespace {

using shell::Tr;


QString DesktopFileNameAsker(QWidget* parent, const QString& proposed) {
  // The dialog confirms an overwrite unless told not to.
  return QFileDialog::getSaveFileName(parent, QString(), proposed, QStringLiteral("JPEG (*.jpg)"));
}

// The picture drawn over its whole area, stretched: the operator sees every pixel that will be
// saved, in the place the preview has on screen.
class PreviewArea : public QWidget {
 public:
  PreviewArea(const QImage& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
    setFixedSize(SnapshotDialog::kPreviewWidth, SnapshotDialog::kPreviewHeight);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (picture_.isNull()) {
      painter.fillRect(rect(), Qt::black);
      return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), picture_);
  }

 private:
  const QImage& picture_;
};

}  // namespace

QImage BitmapToImage(const uint8_t* dib, size_t size) {
  if (dib == nullptr || size < sizeof(video::BitmapInfoHeader)) return {};
  video::BitmapInfoHeader header;
  std::memcpy(&header, dib, sizeof header);
  if (header.biSize != sizeof header || header.biBitCount != 24 || header.biCompression != 0) return {};
  // Limits keep the size arithmetic far from overflow; no camera picture comes near them.
  constexpr int kMaxSide = 1 << 15;
  const int width = header.biWidth;
  const int height = header.biHeight;
  if (width <= 0 || width > kMaxSide || height <= 0 || height > kMaxSide) return {};
  const int stride = video::PictureStride(width);
  if (size - sizeof header < static_cast<size_t>(stride) * static_cast<size_t>(height)) return {};
  // Rows run bottom-up in the bitmap; the copy puts them the right way round and owns its pixels.
  const uint8_t* rows = dib + sizeof header;
  QImage image(width, height, QImage::Format_BGR888);
  if (image.isNull()) return {};
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = rows + static_cast<size_t>(height - 1 - y) * stride;
    std::memcpy(image.scanLine(y), row, 3 * static_cast<size_t>(width));
  }
  return image;
}

std::vector<uint8_t> SampleSnapshotBitmap(int width, int height) {
  const video::BitmapInfoHeader header = video::MakeHeader(width, height);
  const int stride = video::PictureStride(width);
  std::vector<uint8_t> dib(sizeof header + static_cast<size_t>(stride) * height, 0);
  std::memcpy(dib.data(), &header, sizeof header);
  const double cx = width * 0.62;
  const double cy = height * 0.45;
  const double radius = std::min(width, height) * 0.22;
  for (int y = 0; y < height; ++y) {
    // Bottom-up: the first stored row is the picture's last.
    uint8_t* row = dib.data() + sizeof header + static_cast<size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = row + 3 * x;
      const bool disc = std::hypot(x - cx, y - cy) < radius;
      pixel[0] = disc ? 40 : static_cast<uint8_t>(60 + 150 * y / std::max(1, height - 1));   // blue
      pixel[1] = disc ? 200 : static_cast<uint8_t>(40 + 120 * x / std::max(1, width - 1));   // green
      pixel[2] = disc ? 240 : static_cast<uint8_t>(90);                                      // red
    }
  }
  return dib;
}

SnapshotDialog::SnapshotDialog(std::vector<uint8_t> dib, QWidget* parent)
    : DialogFrame(parent),
      dib_(std::move(dib)),
      picture_(BitmapToImage(dib_.data(), dib_.size())),
      askFileName_(DesktopFileNameAsker),
      notify_([this](const QString& text) { shell::MessageBox::Show(this, text); }) {
  SetCaption(Tr(text::kSaveFrameToFile));

  auto* save = new shell::PictureButton(Tr(text::kSaveToFile), this);
  save->setObjectName("save");
  connect(save, &shell::PictureButton::clicked, this, &SnapshotDialog::SaveToFile);
  auto* close = new shell::PictureButton(Tr(text::kClose), this);
  close->setObjectName("close");
  connect(close, &shell::PictureButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(8);
  layout->addWidget(new QLabel(Tr(text::kPreview), this));
  layout->addWidget(new PreviewArea(picture_, this));
  layout->addLayout(buttons);
}

bool SnapshotDialog::SaveToFile() {
  QString path = askFileName_(this, proposed_);
  if (path.isEmpty()) return false;
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")) path += QStringLiteral(".jpg");
  const QByteArray local = QFile::encodeName(path);
  const std::string file(local.constData(), static_cast<size_t>(local.size()));
  const video::SnapshotResult result = writer_.Save(dib_.data(), dib_.size(), file);
  // The operator has one thing to act on whatever went wrong: the file is not there.
  if (!result.ok) notify_(Tr(text::kCannotCreateFile));
  return result.ok;
}

QString SnapshotFileName(int camera, const QString& cameraName, const QDateTime& time) {
  QString name;
  for (const QChar c : cameraName.simplified()) {
    name += c.isLetterOrNumber() || c == QLatin1Char('-') ? c : QLatin1Char('_');
  }
  QString file = QStringLiteral("C%1").arg(camera + 1);
  if (!name.isEmpty()) file += QLatin1Char('_') + name;
  return file + QLatin1Char('_') + time.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".jpg");
}

bool RunSnapshot(display::VideoDisplay& display, QWidget* parent) {
  const int camera = display.GetSelectedCamera();
  std::vector<uint8_t> dib;
  if (!display.ExtractRegion(camera, display.GetAreaRect(camera), dib)) return false;
  SnapshotDialog dialog(std::move(dib), parent);
  const QString name = QString::fromStdString(display.GetName(camera));
  dialog.SetProposedName(QDir(QDir::homePath()).filePath(SnapshotFileName(camera, name, QDateTime::currentDateTime())));
  dialog.exec();
  return true;
}

}  // namespace strixc::tools
