#include "image/Planes.h"
#include <gtest/gtest.h>
TEST(Planes, Placeholder) { SUCCEED(); }
