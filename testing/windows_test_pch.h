// Precompiled for every Windows test executable: nearly every test file pulls
// these in, and parsing them dominates the tests' build time.
#pragma once
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
