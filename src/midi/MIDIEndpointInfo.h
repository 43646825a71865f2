#pragma once

#include <string>

// One MIDI endpoint as the page sees it. For a system port named "client:port..."
// the device and entity names are the client name (for a USB device its product name),
// the index is the rest of the port's name from the first ':' (the port path; the
// client name when there is none) and the UID is the client name followed by that path.
struct MIDIEndpointInfo {
    std::string deviceName;
    std::string entityName;
    std::string uid;
    std::string index;

    // Splits a port name as the MIDI system lists it (ALSA: "client:port c:p", JACK: "client:port").
    static MIDIEndpointInfo fromPortName(const std::string& portName);
    // The port path behind the device name ("" when none): the UID is deviceName + path.
    static std::string portPath(const std::string& portName);

    bool operator==(const MIDIEndpointInfo& other) const {
        return deviceName == other.deviceName && entityName == other.entityName && uid == other.uid &&
               index == other.index;
    }
};
