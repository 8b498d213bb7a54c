#include "client/protect/detection_decision.h"

namespace olvex::protect {

std::vector<DetectionStep> DetectionSteps(const DetectionCase& find) {
    std::vector<DetectionStep> steps;
    if (!find.restricted)
        steps.push_back(DetectionStep::kLogDetected);
    if (find.in_memory) {
        steps.push_back(DetectionStep::kMarkMemoryFind);
        if (find.restricted) {
            steps.push_back(DetectionStep::kShowUserAlert);
        } else {
            steps.push_back(DetectionStep::kShowAlert);
            if (!find.answer)
                return steps;
            steps.push_back(*find.answer == AlertAnswer::kQuarantine ? DetectionStep::kQuarantine
                                                                     : DetectionStep::kExclude);
        }
    } else if (!find.restricted) {
        steps.push_back(DetectionStep::kDelete);
    }
    if (find.prevalence_research)
        steps.push_back(DetectionStep::kReport);
    return steps;
}

}  // namespace olvex::protect
