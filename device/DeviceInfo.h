#pragma once
// The information read-out that runs after every connect.

namespace tessary::app {
class Session;
}

namespace tessary::device {

void ReadDeviceInfo(app::Session& session);

}  // namespace tessary::device
