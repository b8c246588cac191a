#pragma once

class CSoundOutput;

namespace cli {

// Hands the Audio preferences (the sound API and the devices chosen, in channel order) to
// `output`, so that the commands list and judge the channels the program would have; a chosen
// device missing here keeps its channels, shown as missing. Before Initialize.
void ApplyAudioPreferences(CSoundOutput& output);

}  // namespace cli
