// A build without libmosquitto (the Windows one) has no MQTT.
#include "mqtt/Publisher.h"

namespace tessary::mqtt {

std::unique_ptr<Publisher> MakePublisher(const PublishSettings&, std::function<void(const std::string&)>,
                                         std::string& error, MakeError& kind) {
    error = "this build has no MQTT";
    kind = MakeError::NoMqtt;
    return nullptr;
}

std::string ThisHostName() { return "localhost"; }

}  // namespace tessary::mqtt
