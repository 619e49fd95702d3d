#include <QApplication>

#include <gtest/gtest.h>

// The display draws text and its widget is a QWidget: both need the application object.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
