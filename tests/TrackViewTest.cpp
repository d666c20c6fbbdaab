#include <gtest/gtest.h>

#include "TrackView.h"

TEST(TrackView, Builds) { SUCCEED(); }
