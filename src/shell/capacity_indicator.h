#pragma once

// The small control on the main window's panel that shows how full the local archive is (a pie)
// and how much time it spans ("Archive:", days, hours).

#include <QColor>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::shell {

// p = used * 100 / total, a total below 2 counting as 1. Above 100 when more is used than the
// total allows.
int UsedPercent(uint64_t used, uint64_t total);

// The three lines "Archive:", days, hours of the time between two archive times (100 ns units);
// empty when either is 0.
QString ArchiveSpanText(uint64_t earliest, uint64_t latest);

// Halves a picture by averaging each 2 x 2 block per colour channel (rounding down). An odd last
// row or column is dropped. The result is RGB888.
QImage HalveByAveraging(const QImage& picture);

// The pie of the used share, drawn at twice its shown size (kPieDrawSize).
QImage DrawCapacityPie(int usedPercent);

// The four values the indicator shows: archive times (100 ns units) and sizes in bytes.
struct CapacityValues {
  uint64_t earliest = 0;
  uint64_t latest = 0;
  uint64_t used = 0;
  uint64_t total = 0;
};

// Lives on the user-interface thread. Painting only paints the values cached by the last refresh,
// and a refresh never waits for the archive database: while a rebuild holds it the values stay.
// A click on the indicator is reported (Clicked), so that its window can open the archive's
// location settings.
class CapacityIndicator : public QWidget {
  Q_OBJECT

 public:
  static constexpr QColor kBackground{0x4A, 0x4F, 0x55};
  static constexpr QColor kPieColour{0xB9, 0xC5, 0xD4};
  static constexpr QColor kTextColour{0xCC, 0xCC, 0xCC};
  static constexpr QSize kPieDrawSize{60, 40};
  static constexpr QRect kPieRect{10, 5, 30, 20};
  static constexpr QRect kTextRect{0, 30, 50, 40};
  static constexpr int kRefreshMs = 60000;
  // While the archive has no recordings the timer runs this often instead, so that the first
  // recordings of a new archive show up soon.
  static constexpr int kEmptyRefreshMs = 2000;

  using Reader = std::function<CapacityValues()>;

  // Refreshes at once and then on the timer.
  explicit CapacityIndicator(QWidget* parent = nullptr);

  // Not owned; must outlive the indicator or be replaced (nullptr: show an empty archive).
  void SetDatabase(archive::ArchiveDatabase* database);
  // Reads the values through `reader` instead (an empty one: show an empty archive).
  void SetReader(Reader reader);

  // Reads the four values (all 0 without a database) and repaints.
  void Refresh();
  // Shows these values until the next refresh (previews of the control without an archive).
  void SetValues(uint64_t earliest, uint64_t latest, uint64_t used, uint64_t total);

  uint64_t Earliest() const { return earliest_; }
  uint64_t Latest() const { return latest_; }
  uint64_t UsedSize() const { return used_; }
  uint64_t TotalSize() const { return total_; }

  QSize sizeHint() const override;

 signals:
  // The left button was released over the indicator.
  void Clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Redraws the pie when the used percentage changed.
  void UpdatePie();
  void PaintPie(QPainter& painter) const;
  void PaintSpan(QPainter& painter) const;

  // Reads the database given to SetDatabase, or what SetReader gave.
  Reader reader_;
  QTimer timer_;
  uint64_t earliest_ = 0;
  uint64_t latest_ = 0;
  uint64_t used_ = 0;
  uint64_t total_ = 0;
  // The shown pie, redrawn only when the percentage changes; null when nothing is used.
  int piePercent_ = 0;
  QImage pie_;
};

}  // namespace strixc::shell
