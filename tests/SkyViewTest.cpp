#include <gtest/gtest.h>

#include "SkyView.h"

TEST(SkyView, Builds) { SUCCEED(); }
