#include "app/process_objects.h"

#include <utility>

namespace flash {

ProcessObjects::ProcessObjects(std::vector<std::string> programArgs)
    : updateApp(*this, std::move(programArgs)) {}

}  // namespace flash
