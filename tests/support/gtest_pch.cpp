// The compile that produces the precompiled GoogleTest headers every test program reuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
