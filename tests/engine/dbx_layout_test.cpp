#include "engine/dbx_layout.h"
#include <gtest/gtest.h>
TEST(DbxLayout, Placeholder) { EXPECT_TRUE(true); }
