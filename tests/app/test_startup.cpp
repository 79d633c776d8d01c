#include <gtest/gtest.h>

#include <QApplication>

TEST(Startup, ApplicationRunsOffscreen) {
  int argc = 1;
  char name[] = "tunelark";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  EXPECT_EQ(QApplication::platformName(), "offscreen");
}
