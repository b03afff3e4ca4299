#include <gtest/gtest.h>
#include "source/ScannerU.h"
TEST(Scanner, Placeholder) { orvate::TScanner s; s.SetSource("c4"); EXPECT_EQ(s.NextToken(), "c"); }
