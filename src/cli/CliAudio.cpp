#include "cli/CliAudio.h"

#include "engine/CSoundOutput.h"
#include "shell/Preferences.h"

namespace cli {

void ApplyAudioPreferences(CSoundOutput& output) {
    const Preferences prefs;
    std::vector<CSoundOutput::ChosenDevice> devices;
    for (const Preferences::AudioDevice& device : prefs.GetAudioDeviceChoice()) {
        devices.push_back({device.name.toStdString(), static_cast<uint32_t>(device.outputs)});
    }
    output.SetPreferredAudio(prefs.GetAudioBackend().toStdString(), std::move(devices));
}

}  // namespace cli
