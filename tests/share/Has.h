#pragma once
// A text that must hold a part: said with the whole text when it does not.
#include <gtest/gtest.h>

#include <string>

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)
#define EXPECT_LACKS(text, part) EXPECT_EQ((text).find(part), std::string::npos) << (text)
