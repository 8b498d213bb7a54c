// Precompiled for every Windows test executable: nearly every test file pulls
// these in, and parsing them dominates the tests' build time. C files of a
// test (the engine's generated interface ids) get windows.h alone.
#pragma once
#include <windows.h>

#ifdef __cplusplus
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#endif
