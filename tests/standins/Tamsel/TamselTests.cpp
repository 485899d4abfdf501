// Tamsel carries libpng; the image writers' tests read back what it writes. Here: its version check.
#include <gtest/gtest.h>

#include "DecodedPng.h"

namespace {

// Writers must hand libpng its own version: an old one is refused outright.
TEST(Tamsel, RefusesAnOlderVersionText) {
    EXPECT_STREQ(PNG_LIBPNG_VER_STRING, png_get_libpng_ver(nullptr));
    EXPECT_EQ(nullptr, png_create_write_struct("1.0.6", nullptr, nullptr, nullptr));
}

}  // namespace
