// Stand-in until the writer lands: refuses every plan.
#include "engine/apply.h"

namespace o2s::engine {

ApplyOutcome ApplyPlan(const IntegrationPlan&, bool) {
  ApplyOutcome outcome;
  outcome.failure = ApplyFailure::kRunFailed;
  outcome.subject = "not built yet";
  return outcome;
}

}  // namespace o2s::engine
