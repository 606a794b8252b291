// Applies one plan given on the command line, for the kill test:
//   apply_plan_runner SETUP_FOLDER DRIVER_FOLDER OEM_FILE [FILE...]
// one run of every option of DRIVER_FOLDER/OEM_FILE for Windows XP,
// bringing each FILE from beside it. Prints the failure (its number and
// subject) and each file's action; exits 0 when the plan was carried out.
#include <cstdio>

#include "engine/apply.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s SETUP_FOLDER DRIVER_FOLDER OEM_FILE [FILE...]\n", argv[0]);
    return 2;
  }
  o2s::engine::IntegrationPlan plan;
  plan.setupFolder = argv[1];
  plan.setupFile = "txtsetup.sif";
  o2s::engine::DriverRun run;
  run.driverFolder = argv[2];
  run.oemFile = argv[3];
  for (int i = 4; i < argc; ++i) run.files.push_back({argv[i], argv[i]});
  plan.runs.push_back(run);
  o2s::engine::ApplyOutcome outcome = o2s::engine::ApplyPlan(plan, false);
  printf("failure %d %s\n", static_cast<int>(outcome.failure), outcome.subject.c_str());
  for (const auto& file : outcome.files) printf("%d %s\n", static_cast<int>(file.action), file.name.c_str());
  return outcome.failure == o2s::engine::ApplyFailure::kNone ? 0 : 1;
}
