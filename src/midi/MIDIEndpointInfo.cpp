#include "midi/MIDIEndpointInfo.h"

std::string MIDIEndpointInfo::portPath(const std::string& portName) {
    size_t colon = portName.find(':');
    return colon == std::string::npos ? std::string() : portName.substr(colon);
}

MIDIEndpointInfo MIDIEndpointInfo::fromPortName(const std::string& portName) {
    std::string path = portPath(portName);
    std::string name = portName.substr(0, portName.size() - path.size());
    MIDIEndpointInfo info;
    info.deviceName = name;
    info.entityName = name;
    info.uid = name + path;
    info.index = path.empty() ? name : path;
    return info;
}
