#include "browser/bookmark_title_dialog.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include "archive/archive_time.h"
#include "archive/bookmark_store.h"
#include "support/time_zone.h"

namespace strixc::browser {
namespace {

constexpr qsizetype kMax = static_cast<qsizetype>(archive::BookmarkStore::kMaxTitleBytes);

TEST(BookmarkTitleDialogTest, CaptionShowsTheTimeOnTheWallClock) {
  test::ScopedTimeZone zone("Europe/Warsaw");
  // 15:00 on the archive's standard-time clock is 16:00 summer time.
  const uint64_t time = *archive::TimeOfFields({2026, 6, 10, 15, 0, 0, 0});
  BookmarkTitleDialog local(time, QStringLiteral("Gate"), nullptr);
  EXPECT_TRUE(local.Caption().startsWith("Set bookmark at 04:00:00")) << local.Caption().toStdString();
  EXPECT_TRUE(local.Caption().endsWith(" / 10.06.2026"));
  EXPECT_EQ(local.Title(), "Gate");
  BookmarkTitleDialog remote(time, QString(), nullptr, true);
  EXPECT_TRUE(remote.Caption().startsWith("Set bookmark at 03:00:00"));
}

TEST(BookmarkTitleDialogTest, TitlesAreCutToTheStoresBytesBetweenCharacters) {
  EXPECT_EQ(BookmarkTitleDialog::CutTitle(QString(600, 'a')).size(), kMax);
  EXPECT_EQ(BookmarkTitleDialog::CutTitle(QString(300, QChar(0xE9))).size(), kMax / 2);  // 2 bytes each
  QString faces;
  for (int i = 0; i < 130; ++i) faces += QString::fromUcs4(U"\U0001F600");  // 4 bytes, 2 units
  const QString cut = BookmarkTitleDialog::CutTitle(faces);
  EXPECT_EQ(cut.size(), 2 * (kMax / 4));
  EXPECT_TRUE(cut.back().isLowSurrogate());
  EXPECT_LE(cut.toUtf8().size(), kMax);
  const QString fits = QString(kMax, 'b');
  EXPECT_EQ(BookmarkTitleDialog::CutTitle(fits), fits);

  BookmarkTitleDialog dialog(1, QString(600, 'a'), nullptr, true);
  EXPECT_EQ(dialog.Title().toUtf8().size(), kMax);
}

// What is typed or pasted past the limit goes; the rest of the title stays as it was.
TEST(BookmarkTitleDialogTest, AnEditPastTheLimitLosesItsOwnEnd) {
  BookmarkTitleDialog dialog(1, QString(kMax - 2, 'a'), nullptr, true);
  auto* field = dialog.findChild<QLineEdit*>("title");
  ASSERT_NE(field, nullptr);
  field->setCursorPosition(3);
  field->insert(QStringLiteral("xyz"));
  EXPECT_EQ(dialog.Title(), QString(3, 'a') + "xy" + QString(kMax - 5, 'a'));
  EXPECT_EQ(field->cursorPosition(), 5);
  field->insert(QStringLiteral("q"));
  EXPECT_EQ(dialog.Title().toUtf8().size(), kMax);
  EXPECT_EQ(dialog.Title().count('q'), 0);
}

}  // namespace
}  // namespace strixc::browser
