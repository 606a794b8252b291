// An option's service, apart from the rest of the survey so that the page's
// module takes only this (engine/survey.h).
#include "engine/survey.h"

namespace o2s::engine {

const char* OptionService(const OptionDescription& option) {
  return option.idCount > 0 ? option.services[0] : nullptr;
}

}  // namespace o2s::engine
