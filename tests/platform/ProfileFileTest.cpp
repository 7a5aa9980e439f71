#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/profile/ProfileFile.h"

TEST(ProfileFileTest, Placeholder) { SUCCEED(); }
