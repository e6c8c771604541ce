#include "device/DeviceInfo.h"

#include "app/Session.h"

namespace tessary::device {

void ReadDeviceInfo(app::Session& session) {
    auto& st = session.State();
    auto& link = session.Link();
    st.BaudRateValue = std::to_string(link.LinkBaudRate());
    st.ComPortValue = link.LinkPortName();
    st.AddressValue = st.CurrentAddress;
}

}  // namespace tessary::device
