// marvane-cli channels and render: the engine's players on the chosen or on offline devices.
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "cli/CliAudio.h"
#include "cli/Commands.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/media/WaveHeader.h"

namespace cli {

namespace {

constexpr uint32_t kRefillFrames = CSoundOutput::kSegmentBytes / CSoundOutput::kFrameBytes;
constexpr int kMaxChannels = 64;
constexpr auto kRefillTimeout = std::chrono::seconds(10);

int Fail(const QString& message, int status = 1) {
    std::fputs(message.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    return status;
}

// The live commands by their command-line names.
const std::map<QString, unsigned>& CommandNames() {
    static const std::map<QString, unsigned> names = {
        {"fadein", CCuePlayer::kFadeIn},     {"fadeout", CCuePlayer::kFadeOut},
        {"kill", CCuePlayer::kKill},         {"speedup", CCuePlayer::kSpeedUp},
        {"slowdown", CCuePlayer::kSlowDown}, {"normalspeed", CCuePlayer::kNormalSpeed},
        {"stopall", CCuePlayer::kStopAll},   {"volup", CCuePlayer::kVolUp},
        {"voldown", CCuePlayer::kVolDown},
    };
    return names;
}

// One timed action of a render, at an output frame on a refill boundary.
struct Action {
    enum Kind { kPlay, kCommand, kSeek };
    Kind kind = kPlay;
    uint64_t frame = 0;
    int row = -1;        // -1: every player (commands and seeks)
    unsigned value = 0;  // command id or percent
};

// "2.5" seconds to the first refill boundary at or after it.
std::optional<uint64_t> ParseTime(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > 24 * 3600) return std::nullopt;
    const auto frames = static_cast<uint64_t>(std::ceil(seconds * CSoundOutput::kSampleRate));
    return (frames + kRefillFrames - 1) / kRefillFrames * kRefillFrames;
}

std::optional<int> ParseNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

// "WHAT@SECONDS[:ROW]" into what, the frame and the row (-1 when absent).
bool ParseTimed(const QString& text, bool rowAllowed, QString* what, uint64_t* frame, int* row) {
    const int at = text.indexOf('@');
    if (at <= 0) return false;
    *what = text.left(at);
    QString rest = text.mid(at + 1);
    *row = -1;
    const int colon = rest.indexOf(':');
    if (colon >= 0) {
        if (!rowAllowed) return false;
        const auto r = ParseNumber(rest.mid(colon + 1), 0, 1 << 30);
        if (!r) return false;
        *row = *r;
        rest = rest.left(colon);
    }
    const auto f = ParseTime(rest);
    if (!f) return false;
    *frame = *f;
    return true;
}

// Writes 44100 Hz 16-bit frames of `channels` samples as they are rendered; the sizes are
// patched in at the end.
class WavWriter {
public:
    WavWriter(const QString& path, uint32_t channels)
        : m_file(path),
          m_channels(channels),
          m_maxDataBytes((0xFFFFFFFFull - 36) / (2 * channels) * (2 * channels)) {}

    bool Open() {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        return m_file.write(Header(0)) == 44;
    }
    bool Append(const std::vector<int16_t>& samples) {
        // A WAV file counts its sound in 32 bits: stop there rather than write on for ever
        // (a looped cue plays until something stops it).
        if (samples.size() * 2 > m_maxDataBytes - m_dataBytes) {
            m_full = true;
            return false;
        }
        QByteArray bytes;
        bytes.reserve(static_cast<qsizetype>(samples.size() * 2));
        for (int16_t s : samples) {
            bytes.append(static_cast<char>(s & 0xFF));
            bytes.append(static_cast<char>((s >> 8) & 0xFF));
        }
        m_dataBytes += static_cast<uint64_t>(bytes.size());
        return m_file.write(bytes) == bytes.size();
    }
    bool IsFull() const { return m_full; }
    bool Finish() {
        if (!m_file.seek(0) || m_file.write(Header(static_cast<uint32_t>(m_dataBytes))) != 44) {
            return false;
        }
        m_file.close();
        return m_file.error() == QFileDevice::NoError;
    }

private:
    QByteArray Header(uint32_t dataBytes) const {
        const auto h = PcmWaveHeader(static_cast<uint16_t>(m_channels), 44100, 16, dataBytes);
        return QByteArray(h.data(), h.size());
    }

    QFile m_file;
    uint32_t m_channels;
    uint64_t m_maxDataBytes;  // whole frames within what the header can state
    uint64_t m_dataBytes = 0;
    bool m_full = false;
};

// Collects the players' reports, each stamped with the output frame at which it was made: the
// player's start frame plus the frames its buffer has played.
class ReportLog : public IPlayerStatusReceiver {
public:
    struct Entry {
        uint64_t frame;
        uint64_t sequence;  // players in the order they were started
        int row;
        int status;
        CCuePlayer* player;
    };

    void Register(CCuePlayer* player, int row, uint64_t startFrame) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_players[player] = {row, startFrame, m_nextSequence++};
    }

    // Worker threads.
    void OnPlayerStatus(CCuePlayer* player, int status) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_players.find(player);
        if (it == m_players.end()) return;
        m_pending.push_back({it->second.startFrame + player->GetFramesPlayed(), it->second.sequence,
                             it->second.row, status, player});
    }

    // Main thread: the reports so far, in frame order (players in start order within a frame).
    std::vector<Entry> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Entry> entries;
        entries.swap(m_pending);
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.frame != b.frame ? a.frame < b.frame : a.sequence < b.sequence;
        });
        return entries;
    }

private:
    struct Info {
        int row;
        uint64_t startFrame;
        uint64_t sequence;
    };
    std::mutex m_mutex;
    std::map<CCuePlayer*, Info> m_players;
    std::vector<Entry> m_pending;
    uint64_t m_nextSequence = 0;
};

const char* StatusName(int status) {
    switch (status) {
        case PLAYER_STARTED:
            return "STARTED";
        case PLAYER_FADED:
            return "FADED";
        case PLAYER_ENDED:
            return "ENDED";
    }
    return "UNKNOWN";
}

QString DevicePath(const QString& out, int device) {
    if (device == 0) return out;
    const QFileInfo info(out);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? out : out.left(out.size() - suffix.size() - 1);
    return base + QStringLiteral("-%1").arg(device) + (suffix.isEmpty() ? "" : "." + suffix);
}

}  // namespace

int RunChannels(const QStringList& args) {
    if (!args.isEmpty()) return Fail(QStringLiteral("usage: marvane-cli channels"), 2);
    ApplyAudioPreferences(theSoundOutput);
    if (!theSoundOutput.Initialize()) {
        return Fail(QStringLiteral("Failed to initialize DirectX Audio\n") +
                    theSoundOutput.GetFailureHint());
    }
    QStringList names;
    theSoundOutput.GetChannelNames(names);
    for (const QString& name : names) std::printf("%s\n", name.toUtf8().constData());
    theSoundOutput.ReleaseDevices();
    return 0;
}

int RunRender(const QStringList& args) {
    const QString usage = QStringLiteral(
        "usage: marvane-cli render LIST_FILE OUT.wav [--channels N] [--outputs C]\n"
        "       [--play ROW@SECONDS]...\n"
        "       [--cmd NAME@SECONDS[:ROW]]... [--seek PERCENT@SECONDS[:ROW]]...\n"
        "       [--start-percent P] [--max-seconds S]");
    if (args.size() < 2) return Fail(usage, 2);
    const QString listPath = args[0];
    const QString outPath = args[1];
    int channels = 1;
    int outputs = 2;
    unsigned startPercent = 0;
    std::optional<uint64_t> maxFrames;
    std::vector<Action> actions;

    for (int i = 2; i < args.size(); ++i) {
        const QString& option = args[i];
        if (i + 1 >= args.size()) return Fail(usage, 2);
        const QString value = args[++i];
        QString what;
        Action action;
        if (option == "--channels") {
            const auto n = ParseNumber(value, 1, kMaxChannels);
            if (!n) return Fail(QStringLiteral("--channels takes 1 to %1.").arg(kMaxChannels), 2);
            channels = *n;
        } else if (option == "--outputs") {
            const auto n = ParseNumber(value, 1, static_cast<int>(OutputDevice::kMaxOutputs));
            if (!n) {
                return Fail(
                    QStringLiteral("--outputs takes 1 to %1.").arg(OutputDevice::kMaxOutputs), 2);
            }
            outputs = *n;
        } else if (option == "--start-percent") {
            const auto p = ParseNumber(value, 0, 100);
            if (!p) return Fail(QStringLiteral("--start-percent takes 0 to 100."), 2);
            startPercent = static_cast<unsigned>(*p);
        } else if (option == "--max-seconds") {
            const auto f = ParseTime(value);
            if (!f) return Fail(QStringLiteral("--max-seconds takes a time in seconds."), 2);
            maxFrames = *f;
        } else if (option == "--play") {
            if (!ParseTimed(value, false, &what, &action.frame, &action.row)) return Fail(usage, 2);
            const auto row = ParseNumber(what, 0, 1 << 30);
            if (!row) return Fail(QStringLiteral("bad row in --play %1").arg(value), 2);
            action.kind = Action::kPlay;
            action.row = *row;
            actions.push_back(action);
        } else if (option == "--cmd") {
            if (!ParseTimed(value, true, &what, &action.frame, &action.row)) return Fail(usage, 2);
            const auto it = CommandNames().find(what.toLower());
            if (it == CommandNames().end()) {
                return Fail(QStringLiteral("unknown command %1").arg(what), 2);
            }
            action.kind = Action::kCommand;
            action.value = it->second;
            actions.push_back(action);
        } else if (option == "--seek") {
            if (!ParseTimed(value, true, &what, &action.frame, &action.row)) return Fail(usage, 2);
            const auto percent = ParseNumber(what, 0, 100);
            if (!percent) return Fail(QStringLiteral("bad percent in --seek %1").arg(value), 2);
            action.kind = Action::kSeek;
            action.value = static_cast<unsigned>(*percent);
            actions.push_back(action);
        } else {
            return Fail(usage, 2);
        }
    }
    std::stable_sort(actions.begin(), actions.end(),
                     [](const Action& a, const Action& b) { return a.frame < b.frame; });

    CMVDoc doc;
    QString error;
    if (!doc.OnOpenDocument(listPath, &error)) return Fail(error);
    for (const Action& action : actions) {
        if (action.row >= doc.GetCueCount()) {
            return Fail(QStringLiteral("row %1 is not in the list (it has %2 cues)")
                            .arg(action.row)
                            .arg(doc.GetCueCount()));
        }
    }

    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> candidates;
    for (int k = 0; k < channels; ++k) {
        candidates.push_back(std::make_unique<OfflineDevice>(
            "Offline output " + std::to_string(k + 1), static_cast<uint32_t>(outputs)));
    }
    if (!output.Initialize(std::move(candidates))) {
        return Fail(QStringLiteral("Failed to initialize DirectX Audio"));
    }
    std::vector<OfflineDevice*> devices;
    std::vector<std::unique_ptr<WavWriter>> writers;
    for (int k = 0; k < channels; ++k) {
        devices.push_back(static_cast<OfflineDevice*>(output.GetDeviceAt(k)));
        devices.back()->SetRefillTimeout(
            std::chrono::duration_cast<std::chrono::milliseconds>(kRefillTimeout));
        writers.push_back(
            std::make_unique<WavWriter>(DevicePath(outPath, k), static_cast<uint32_t>(outputs)));
        if (!writers.back()->Open()) {
            return Fail(QStringLiteral("Cannot write %1").arg(DevicePath(outPath, k)));
        }
    }

    auto log = std::make_shared<ReportLog>();
    struct Live {
        int row;
        std::unique_ptr<CCuePlayer> player;
    };
    std::vector<Live> live;  // in start order
    const auto printReports = [&] {
        for (const ReportLog::Entry& e : log->Take()) {
            std::printf("%llu %d %s\n", static_cast<unsigned long long>(e.frame), e.row,
                        StatusName(e.status));
            if (e.status == PLAYER_ENDED) {
                // An ended player is deleted, as the view deletes it.
                std::erase_if(live, [&](const Live& l) { return l.player.get() == e.player; });
            }
        }
        std::fflush(stdout);
    };
    size_t next = 0;
    uint64_t clock = 0;
    bool writeFailed = false;

    for (;;) {
        // Between two refills: report, retire ended players, then carry out what is due.
        printReports();
        for (; next < actions.size() && actions[next].frame <= clock; ++next) {
            const Action& action = actions[next];
            if (action.kind == Action::kPlay) {
                CQRecord* cue = doc.GetCue(action.row);
                // As at Go, the start position applies only while nothing is playing.
                const unsigned percent = live.empty() ? startPercent : 0;
                auto player = std::make_unique<CCuePlayer>(cue, percent, log, output);
                if (player->IsFailed()) {
                    const QString message = player->GetFailureMessage();
                    std::fprintf(stderr, "row %d: %s\n", action.row,
                                 message.isEmpty() ? "not a playable sound file"
                                                   : message.toLocal8Bit().constData());
                    continue;
                }
                log->Register(player.get(), action.row, clock);
                player->Start();
                live.push_back({action.row, std::move(player)});
                continue;
            }
            for (auto it = live.rbegin(); it != live.rend(); ++it) {
                if (action.row >= 0 && it->row != action.row) continue;
                if (action.kind == Action::kCommand) {
                    it->player->ApplyCommand(action.value);
                } else {
                    it->player->SeekToPercent(action.value);
                }
                if (action.row >= 0) break;  // the most recently started player of the row
            }
        }
        printReports();  // the reports made while starting

        if (maxFrames && clock >= *maxFrames) break;
        if (live.empty() && next >= actions.size()) break;

        uint32_t frames = kRefillFrames;
        if (maxFrames)
            frames = static_cast<uint32_t>(std::min<uint64_t>(frames, *maxFrames - clock));
        for (int k = 0; k < channels; ++k) {
            const std::vector<int16_t> mix = devices[k]->Render(frames);
            if (!writers[k]->Append(mix)) writeFailed = true;
        }
        clock += frames;
        // Let every worker finish the refill that the last boundary asked for, so a command
        // given now lands between two refills, as it would in a real run.
        for (OfflineDevice* device : devices) device->GetMixer()->WaitForRefills(kRefillTimeout);
        if (writeFailed) break;
    }

    live.clear();  // stops whatever still plays at --max-seconds
    bool full = false;
    for (int k = 0; k < channels; ++k) {
        full = full || writers[k]->IsFull();
        if (!writers[k]->Finish()) writeFailed = true;
    }
    if (full) {
        return Fail(QStringLiteral("%1: the render reached the largest size of a WAV file (4 GiB, "
                                   "about 6 h 45 min of sound): give --max-seconds, or stop "
                                   "looped cues with --cmd")
                        .arg(outPath));
    }
    if (writeFailed) return Fail(QStringLiteral("Cannot write %1").arg(outPath));
    return 0;
}

}  // namespace cli
