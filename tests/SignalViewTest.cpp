#include <gtest/gtest.h>

#include "SignalView.h"

TEST(SignalView, Builds) { SUCCEED(); }
