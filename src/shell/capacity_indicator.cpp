#include "shell/capacity_indicator.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "archive/archive_database.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::shell {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;  // archive times count 100 ns
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kSecondsPerHour = 3600;

// 6.5 point at 96 dpi.
constexpr int kSpanFontPixels = 9;

}  // namespace

int UsedPercent(uint64_t used, uint64_t total) {
  if (total < 2) total = 1;
  return static_cast<int>(used * 100 / total);
}

QString ArchiveSpanText(uint64_t earliest, uint64_t latest) {
  if (earliest == 0 || latest == 0) return {};
  // Each time becomes whole seconds first, as calendar times do, and then they are subtracted.
  const int64_t seconds = static_cast<int64_t>(latest / kUnitsPerSecond) -
                          static_cast<int64_t>(earliest / kUnitsPerSecond);
  const int64_t days = seconds / kSecondsPerDay;
  const int64_t hours = seconds / kSecondsPerHour - days * 24;
  // The counted form of each number ("1 day", "2 dni", "5 godzin"), not the "day(s)" of a fixed text.
  QString text = TrFormat(text::kArchiveSpanCounted, CountedText(text::kCountDays, days).c_str(),
                          CountedText(text::kCountHours, hours).c_str());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

QImage HalveByAveraging(const QImage& picture) {
  const QImage source = picture.convertToFormat(QImage::Format_RGB888);
  QImage halved(source.width() / 2, source.height() / 2, QImage::Format_RGB888);
  for (int y = 0; y < halved.height(); ++y) {
    const uchar* top = source.constScanLine(2 * y);
    const uchar* bottom = source.constScanLine(2 * y + 1);
    uchar* out = halved.scanLine(y);
    for (int x = 0; x < halved.width(); ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        const int left = 6 * x + channel;
        const int sum = top[left] + top[left + 3] + bottom[left] + bottom[left + 3];
        out[3 * x + channel] = static_cast<uchar>(sum / 4);
      }
    }
  }
  return halved;
}

QImage DrawCapacityPie(int usedPercent) {
  QImage pie(CapacityIndicator::kPieDrawSize, QImage::Format_RGB888);
  pie.fill(CapacityIndicator::kBackground);
  QPainter painter(&pie);
  // No antialiasing: halving the picture afterwards smooths its edges.
  const QRect disc(2, 2, pie.width() - 5, pie.height() - 5);
  painter.setPen(CapacityIndicator::kPieColour);
  painter.setBrush(CapacityIndicator::kBackground);
  painter.drawEllipse(disc);
  // The used share from twelve o'clock, clockwise (Qt counts 1/16 degree, counter-clockwise).
  const int share = std::clamp(usedPercent, 0, 100);
  if (share > 0) {
    painter.setBrush(CapacityIndicator::kPieColour);
    painter.drawPie(disc, 90 * 16, -share * 360 * 16 / 100);
  }
  return pie;
}

CapacityIndicator::CapacityIndicator(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::PointingHandCursor);
  connect(&timer_, &QTimer::timeout, this, &CapacityIndicator::Refresh);
  Refresh();
}

void CapacityIndicator::SetDatabase(archive::ArchiveDatabase* database) {
  if (database == nullptr) {
    reader_ = nullptr;
  } else {
    // A database busy with a rebuild is not waited for: the values shown stay until the next refresh.
    reader_ = [this, database] {
      archive::ArchiveDatabase::Summary s;
      if (!database->TrySummary(&s)) return CapacityValues{earliest_, latest_, used_, total_};
      return CapacityValues{s.earliest, s.latest, s.usedSize, s.totalSize};
    };
  }
  Refresh();
}

void CapacityIndicator::SetReader(Reader reader) {
  reader_ = std::move(reader);
  Refresh();
}

void CapacityIndicator::Refresh() {
  const CapacityValues v = reader_ ? reader_() : CapacityValues{};
  earliest_ = v.earliest;
  latest_ = v.latest;
  used_ = v.used;
  total_ = v.total;
  UpdatePie();
  const int period = earliest_ == 0 || latest_ == 0 ? kEmptyRefreshMs : kRefreshMs;
  if (!timer_.isActive() || timer_.interval() != period) timer_.start(period);
  update();
}

void CapacityIndicator::UpdatePie() {
  const int percent = UsedPercent(used_, total_);
  if (percent == piePercent_) return;
  piePercent_ = percent;
  pie_ = 100 - percent == 100 ? QImage() : HalveByAveraging(DrawCapacityPie(percent));
}

void CapacityIndicator::SetValues(uint64_t earliest, uint64_t latest, uint64_t used, uint64_t total) {
  earliest_ = earliest;
  latest_ = latest;
  used_ = used;
  total_ = total;
  UpdatePie();
  update();
}

QSize CapacityIndicator::sizeHint() const { return {50, 72}; }

void CapacityIndicator::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    emit Clicked();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void CapacityIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  PaintPie(painter);
  PaintSpan(painter);
}

void CapacityIndicator::PaintPie(QPainter& painter) const {
  if (!pie_.isNull()) painter.drawImage(kPieRect, pie_);
}

void CapacityIndicator::PaintSpan(QPainter& painter) const {
  const QString span = ArchiveSpanText(earliest_, latest_);
  if (span.isEmpty()) return;
  QFont font;
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans")});
  font.setPixelSize(kSpanFontPixels);
  font.setWeight(QFont::Bold);
  painter.setFont(font);
  painter.setPen(kTextColour);
  painter.drawText(kTextRect, Qt::AlignHCenter | Qt::AlignTop, span);
}

}  // namespace strixc::shell
