#include <gtest/gtest.h>

#include "FixModeView.h"

TEST(FixModeView, Builds) { SUCCEED(); }
