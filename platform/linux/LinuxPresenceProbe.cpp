#include "platform/linux/LinuxPresenceProbe.h"

namespace tovarin {

LinuxPresenceProbe::LinuxPresenceProbe(std::string displayName, std::string systemBusAddress)
    : idle_(std::move(displayName)), session_(std::move(systemBusAddress)) {}

}  // namespace tovarin
