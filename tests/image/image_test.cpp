#include "image/Planes.h"
#include <gtest/gtest.h>
TEST(Image, Placeholder) { SUCCEED(); }
