#include "framework/exception.h"

#include <gtest/gtest.h>

namespace framework {
namespace {

FRAMEWORK_EXCEPTION(ETestFailure, EDatabaseError)

TEST(ExceptionClassTest, NamesAndAncestryFollowTheDeclaredChain) {
  ETestFailure e("table GageMaster: no column gagesn");
  EXPECT_STREQ(e.ClassName(), "ETestFailure");
  EXPECT_TRUE(e.InheritsFrom("ETestFailure"));
  EXPECT_TRUE(e.InheritsFrom("EDatabaseError"));
  EXPECT_TRUE(e.InheritsFrom("Exception"));
  EXPECT_FALSE(e.InheritsFrom("EAbort"));
  // Names compare exactly, letter case included.
  EXPECT_FALSE(e.InheritsFrom("edatabaseerror"));
  EXPECT_EQ(e.Message(), "table GageMaster: no column gagesn");
}

TEST(ExceptionClassTest, ClassIsTheDynamicOneWhenCaughtThroughTheRoot) {
  try {
    throw EAbort("");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EAbort");
    EXPECT_EQ(e.Class().parent, &Exception::StaticClass());
  }
}

}  // namespace
}  // namespace framework
