#include "app/process_objects.h"

#include <utility>

namespace flash {

ProcessObjects::ProcessObjects(std::vector<std::string> programArgs, SocketLayer socketLayer)
    : updateApp(*this, std::move(programArgs), std::move(socketLayer)) {}

}  // namespace flash
