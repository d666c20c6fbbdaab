#include <gtest/gtest.h>

#include "VelocityView.h"

TEST(VelocityView, Builds) { SUCCEED(); }
