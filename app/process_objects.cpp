#include "app/process_objects.h"

#include <utility>

namespace flash {

ProcessObjects::ProcessObjects(std::vector<std::string> originalArgs, SocketLayer socketLayer)
    : updateApp(*this, std::move(originalArgs), std::move(socketLayer)) {
  serialPort.SetNotifyTarget(&serialNotify);
}

}  // namespace flash
