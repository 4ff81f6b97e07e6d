// Single instance: a second claim of the same name fails and asks the first to come forward.
#include "gui/single_instance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QUuid>

#include "gui_test_support.h"

namespace quarvel::gui {
namespace {

TEST(SingleInstance, SecondStartAsksTheFirstAndEnds) {
  gui_test::EnsureQtApplication();
  const QString name = "quarvel-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
  int requests = 0;
  SingleInstance first(name, [&] { ++requests; });
  ASSERT_TRUE(first.Claim());
  SingleInstance second(name, [] {});
  EXPECT_FALSE(second.Claim());
  EXPECT_TRUE(gui_test::ProcessUntil([&] { return requests == 1; }));
}

TEST(SingleInstance, AStartAfterTheFirstEndedClaimsAgain) {
  gui_test::EnsureQtApplication();
  const QString name = "quarvel-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
  {
    SingleInstance ended(name, [] {});
    ASSERT_TRUE(ended.Claim());
  }
  SingleInstance next(name, [] {});
  EXPECT_TRUE(next.Claim());
}

}  // namespace
}  // namespace quarvel::gui
