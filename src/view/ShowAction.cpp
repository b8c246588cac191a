#include "view/ShowAction.h"

#include "view/CommandIds.h"

QString ShowAction::LogName() const {
    switch (kind) {
        case Kind::Go:
            return QStringLiteral("GO");
        case Kind::GoIgnored:
            return QStringLiteral("GO_IGNORED");
        case Kind::StopAll:
            return QStringLiteral("STOP_ALL");
        case Kind::FadeAll:
            return QStringLiteral("FADE_ALL");
        case Kind::StartCue:
            return QStringLiteral("START");
        case Kind::KillCue:
            return QStringLiteral("KILL");
        case Kind::FadeOutCue:
            return QStringLiteral("FADE_OUT");
        case Kind::SelectCue:
            return QStringLiteral("SELECT");
        case Kind::Live:
            break;
    }
    switch (command) {
        case ID_AUDIO_FADEIN:
            return QStringLiteral("FADE_IN");
        case ID_AUDIO_FADEOUT:
            return QStringLiteral("FADE_OUT");
        case ID_AUDIO_KILL:
            return QStringLiteral("KILL");
        case ID_AUDIO_SPEEDUP:
            return QStringLiteral("SPEED_UP");
        case ID_AUDIO_SLOWDOWN:
            return QStringLiteral("SLOW_DOWN");
        case ID_AUDIO_NORMALSPEED:
            return QStringLiteral("NORMAL_SPEED");
        case ID_AUDIO_VOLUP:
            return QStringLiteral("VOLUME_UP");
        case ID_AUDIO_VOLDOWN:
            return QStringLiteral("VOLUME_DOWN");
        case ID_AUDIO_STOPALL:
            return QStringLiteral("STOP_ALL");
        default:
            return QStringLiteral("COMMAND_%1").arg(command);
    }
}
