#include "client/protect/detection_decision.h"

#include <gtest/gtest.h>

#include <vector>

namespace olvex::protect {
namespace {

using S = DetectionStep;
using A = AlertAnswer;

TEST(DetectionDecisionTest, StepsForEachKindOfFind) {
    const struct {
        const char* what;
        DetectionCase find;
        std::vector<S> steps;
    } cases[] = {
        {"memory, before the answer",
         {true, false, false, std::nullopt},
         {S::kLogDetected, S::kMarkMemoryFind, S::kShowAlert}},
        {"memory, quarantined",
         {true, false, false, A::kQuarantine},
         {S::kLogDetected, S::kMarkMemoryFind, S::kShowAlert, S::kQuarantine}},
        {"memory, excluded, reported",
         {true, false, true, A::kExclude},
         {S::kLogDetected, S::kMarkMemoryFind, S::kShowAlert, S::kExclude, S::kReport}},
        {"memory, no rights",
         {true, true, false, std::nullopt},
         {S::kMarkMemoryFind, S::kShowUserAlert}},
        {"memory, no rights, reported",
         {true, true, true, std::nullopt},
         {S::kMarkMemoryFind, S::kShowUserAlert, S::kReport}},
        {"cookie", {false, false, false, std::nullopt}, {S::kLogDetected, S::kDelete}},
        {"cookie, reported",
         {false, false, true, std::nullopt},
         {S::kLogDetected, S::kDelete, S::kReport}},
        {"cookie, no rights", {false, true, false, std::nullopt}, {}},
        {"cookie, no rights, reported", {false, true, true, std::nullopt}, {S::kReport}},
        // An answer means nothing to a find that raised no alert.
        {"cookie with an answer",
         {false, false, false, A::kExclude},
         {S::kLogDetected, S::kDelete}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DetectionSteps(c.find), c.steps) << c.what;
}

}  // namespace
}  // namespace olvex::protect
