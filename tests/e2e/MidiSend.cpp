// A MIDI desk for the end-to-end tests: opens a virtual JACK MIDI output port named
// TestDesk:out, prints "ready", then sends each line read from standard input as one message
// (bytes in hexadecimal, "90 3c 64") and prints "sent" once it has gone.
#include <rtmidi/RtMidi.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main() {
    try {
        RtMidiOut out(RtMidi::UNIX_JACK, "TestDesk");
        out.openVirtualPort("out");
        std::cout << "ready" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::vector<unsigned char> bytes;
            unsigned value = 0;
            while (words >> std::hex >> value) bytes.push_back(static_cast<unsigned char>(value));
            if (!bytes.empty()) out.sendMessage(&bytes);
            std::cout << "sent" << std::endl;
        }
    } catch (const RtMidiError& e) {
        std::cerr << e.getMessage() << std::endl;
        return 1;
    }
    return 0;
}
