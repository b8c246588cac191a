// libFuzzer target for a cue's sound file: the bytes become a ".WAV", raw or compressed file
// that a player prepares, starts and streams for a while on an offline device, with live
// commands landing between refills. Whatever the bytes, the player either fails cleanly or
// plays without a crash, an overrun or a worker that stops refilling. Built by fuzz/build.sh,
// not by the normal build.
//
// The first input byte steers the run: bit 0 loops the cue; bit 1 makes the second byte pick
// another extension than ".WAV" (".snd", which is raw unless libsndfile recognises it, or one
// of the formats libsndfile decodes); the other bits pick the start position and commands.
#include <unistd.h>

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/OfflineDevice.h"

namespace {

class NullReceiver : public IPlayerStatusReceiver {
public:
    void OnPlayerStatus(CCuePlayer*, int) override {}
};

struct Rig {
    Rig() {
        std::vector<std::unique_ptr<OutputDevice>> devices;
        devices.push_back(std::make_unique<OfflineDevice>("Offline"));
        if (!output.Initialize(std::move(devices))) std::abort();
        device = static_cast<OfflineDevice*>(output.GetDevice(0));
        const std::string dir = "/tmp/marvane-wave-fuzz-" + std::to_string(getpid());
        std::system(("mkdir -p " + dir).c_str());
        wavPath = QByteArray::fromStdString(dir + "/cue.WAV");
        for (const char* ext : {"snd", "flac", "ogg", "mp3", "aiff", "opus", "caf", "w64"}) {
            otherPaths.push_back(QByteArray::fromStdString(dir + "/cue." + ext));
        }
    }
    CSoundOutput output;
    OfflineDevice* device = nullptr;
    std::shared_ptr<NullReceiver> receiver = std::make_shared<NullReceiver>();
    QByteArray wavPath;
    std::vector<QByteArray> otherPaths;
};

bool WriteAll(const QByteArray& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.constData(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    if (size < 1) return 0;
    const uint8_t control = data[0];
    ++data;
    --size;
    const QByteArray* path = &rig.wavPath;
    if (control & 2) {
        if (size < 1) return 0;
        path = &rig.otherPaths[data[0] % rig.otherPaths.size()];
        ++data;
        --size;
    }
    if (!WriteAll(*path, data, size)) std::abort();

    CQRecord cue;
    cue.m_strPath = *path;
    cue.m_dwFlags = (control & 1) ? CQRecord::kFlagLooped : 0;
    cue.m_dwFadeIn = (control & 4) ? 100 : 0;
    cue.m_nVolume = (control & 4) ? -30 : 0;
    cue.m_nPan = (control & 4) ? 60 : 0;
    const unsigned percent = ((control >> 3) & 3) == 3 ? 100 : ((control >> 3) & 3) * 40;
    {
        CCuePlayer player(&cue, percent, rig.receiver, rig.output);
        if (player.IsFailed()) return 0;
        player.Start();
        const uint64_t timeoutsBefore = rig.device->GetRefillTimeouts();
        static constexpr unsigned kCommands[] = {CCuePlayer::kSpeedUp, CCuePlayer::kSlowDown,
                                                 CCuePlayer::kFadeOut, CCuePlayer::kVolDown};
        for (int refill = 0; refill < 24; ++refill) {
            rig.device->Render(2048);
            if (refill == 4 && (control & 0x20)) player.ApplyCommand(kCommands[control >> 6]);
            if (refill == 8 && (control & 0x40)) player.SeekToPercent(50);
            if (refill == 12 && (control & 0x80)) player.ApplyCommand(CCuePlayer::kKill);
            (void)player.GetElapsedMs();
            (void)player.GetRemainingMs();
        }
        if (rig.device->GetRefillTimeouts() != timeoutsBefore) std::abort();
    }
    // Nothing of the cue may sound once its player is gone.
    for (int16_t s : rig.device->Render(2048)) {
        if (s != 0) std::abort();
    }
    return 0;
}
