#include "platform/audio/OutputDeviceFactory.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>

#include "platform/audio/JackDevice.h"
#include "platform/audio/PulseDevice.h"
#include "platform/audio/RtAudioDevice.h"
#include "platform/audio/VirtualDevice.h"

namespace {

constexpr std::string_view kVirtualPrefix = "virtual:";

std::atomic<int> g_pluggedVirtualDevices{0};  // PlugVirtualDevicesForTesting

void SetError(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
}

// A whole decimal number in [low, high], nothing else.
bool ParseInt(std::string_view text, int low, int high, int* value) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n < low ||
        n > high) {
        return false;
    }
    *value = n;
    return true;
}

}  // namespace

std::optional<AudioSelection> OutputDeviceFactory::ParseSelection(std::string_view value,
                                                                  std::string* error) {
    AudioSelection selection;
    if (value.empty() || value == "pulse") {
        selection.backend = AudioBackend::Pulse;
        return selection;
    }
    if (value == "jack") {
        selection.backend = AudioBackend::Jack;
        return selection;
    }
    if (value == "alsa") {
        selection.backend = AudioBackend::Alsa;
        return selection;
    }
    if (value.substr(0, kVirtualPrefix.size()) == kVirtualPrefix) {
        std::string_view rest = value.substr(kVirtualPrefix.size());
        const size_t colon = rest.find(':');
        std::string_view shape = rest.substr(0, colon);
        std::string_view rate;
        if (const size_t at = shape.find('@'); at != std::string_view::npos) {
            rate = shape.substr(at + 1);
            shape = shape.substr(0, at);
            if (!ParseInt(rate, OutputDeviceFactory::kMinRate, OutputDeviceFactory::kMaxRate,
                          &selection.virtualRate)) {
                SetError(error, std::string(kEnvironmentVariable) + ": the rate of virtual " +
                                    "devices must be " + std::to_string(kMinRate) + " to " +
                                    std::to_string(kMaxRate) + ", not \"" + std::string(rate) +
                                    "\"");
                return std::nullopt;
            }
        }
        std::string_view count = shape;
        if (const size_t x = shape.find('x'); x != std::string_view::npos) {
            count = shape.substr(0, x);
            const std::string_view outputs = shape.substr(x + 1);
            if (!ParseInt(outputs, 1, static_cast<int>(OutputDevice::kMaxOutputs),
                          &selection.virtualOutputs)) {
                SetError(error, std::string(kEnvironmentVariable) + ": the outputs of a virtual " +
                                    "device must be 1 to " +
                                    std::to_string(OutputDevice::kMaxOutputs) + ", not \"" +
                                    std::string(outputs) + "\"");
                return std::nullopt;
            }
        }
        if (!ParseInt(count, 1, kMaxVirtualDevices, &selection.virtualCount)) {
            SetError(error, std::string(kEnvironmentVariable) + ": the number of virtual " +
                                "devices must be 1 to " + std::to_string(kMaxVirtualDevices) +
                                ", not \"" + std::string(count) + "\"");
            return std::nullopt;
        }
        selection.backend = AudioBackend::Virtual;
        if (colon != std::string_view::npos) selection.capturePrefix = rest.substr(colon + 1);
        return selection;
    }
    SetError(error, std::string(kEnvironmentVariable) + ": unknown value \"" + std::string(value) +
                        "\" (expected pulse, jack, alsa or virtual:N[xC][@RATE][:PREFIX])");
    return std::nullopt;
}

std::optional<AudioSelection> OutputDeviceFactory::SelectionFromEnvironment(std::string* error) {
    const char* value = std::getenv(kEnvironmentVariable);
    return ParseSelection(value != nullptr ? std::string_view(value) : std::string_view(), error);
}

std::vector<std::unique_ptr<OutputDevice>> OutputDeviceFactory::CreateCandidates(
    const AudioSelection& selection) {
    if (selection.backend == AudioBackend::Jack) return JackDevice::Enumerate();
    // PulseAudio (and PipeWire's PulseAudio service) natively, for its small buffers.
    if (selection.backend == AudioBackend::Pulse) return PulseDevice::Enumerate();
    if (selection.backend != AudioBackend::Virtual) {
        return RtAudioDevice::Enumerate(selection.backend);
    }
    std::vector<std::unique_ptr<OutputDevice>> devices;
    const int plugged = g_pluggedVirtualDevices.load(std::memory_order_relaxed);
    const char* times = std::getenv("MARVANE_CAPTURE_TIMES");
    const bool timeMarks = times != nullptr && *times != '\0' && std::string_view(times) != "0";
    for (int k = 0; k < selection.virtualCount + plugged; ++k) {
        std::string capture;
        if (!selection.capturePrefix.empty()) {
            capture = selection.capturePrefix + "-" + std::to_string(k) + ".wav";
        }
        auto device = std::make_unique<VirtualDevice>(
            "Virtual output " + std::to_string(k + 1), std::move(capture),
            VirtualDevice::kDefaultPeriodFrames, static_cast<uint32_t>(selection.virtualOutputs),
            static_cast<uint32_t>(selection.virtualRate));
        device->SetCaptureTimeMarks(timeMarks);
        devices.push_back(std::move(device));
    }
    return devices;
}

void OutputDeviceFactory::PlugVirtualDevicesForTesting(int count) {
    g_pluggedVirtualDevices.store(std::clamp(count, 0, kMaxVirtualDevices),
                                  std::memory_order_relaxed);
}

std::vector<std::unique_ptr<OutputDevice>> OutputDeviceFactory::OpenAll(
    std::vector<std::unique_ptr<OutputDevice>> candidates) {
    std::vector<std::unique_ptr<OutputDevice>> opened;
    for (auto& device : candidates) {
        if (device && device->Open()) opened.push_back(std::move(device));
    }
    return opened;
}

std::vector<std::unique_ptr<OutputDevice>> OutputDeviceFactory::OpenFromEnvironment(
    std::string* error) {
    const std::optional<AudioSelection> selection = SelectionFromEnvironment(error);
    if (!selection) return {};
    auto candidates = CreateCandidates(*selection);
    if (candidates.empty()) {
        SetError(error, "No audio output device found");
        return {};
    }
    std::string lastError = candidates.back()->GetDescription();
    std::vector<std::unique_ptr<OutputDevice>> opened;
    for (auto& device : candidates) {
        if (device->Open()) {
            opened.push_back(std::move(device));
        } else {
            lastError = device->GetDescription() + ": " + device->GetLastError();
        }
    }
    if (opened.empty())
        SetError(error, "No audio output device could be opened (" + lastError + ")");
    return opened;
}
