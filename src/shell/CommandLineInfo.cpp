#include "shell/CommandLineInfo.h"

namespace {

// Switch names recognised after "/" (where an unknown word means a path instead).
bool IsKnownSwitchName(const QString& name) {
    if (name == QLatin1String("p") || name == QLatin1String("pt") || name == QLatin1String("dde"))
        return true;
    for (const char* other : {"Unregister", "Unregserver", "Embedding", "Automation"}) {
        if (name.compare(QLatin1String(other), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

bool SameWord(const QString& name, const char* word) {
    return name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

}  // namespace

bool CommandLineInfo::IsSwitch(const QString& arg, QString* name) {
    if (arg.size() < 2) return false;
    const QString word = arg.mid(1);
    if (arg.startsWith(QLatin1Char('-'))) {
        if (name) *name = word;
        return true;
    }
    if (arg.startsWith(QLatin1Char('/')) && IsKnownSwitchName(word)) {
        if (name) *name = word;
        return true;
    }
    return false;
}

CommandLineInfo CommandLineInfo::Parse(const QStringList& args) {
    CommandLineInfo info;
    for (const QString& arg : args) {
        QString name;
        if (IsSwitch(arg, &name)) {
            if (name == QLatin1String("pt")) {
                info.m_nShellCommand = FilePrintTo;
            } else if (name == QLatin1String("p")) {
                info.m_nShellCommand = FilePrint;
            } else if (name == QLatin1String("dde")) {
                info.m_nShellCommand = FileDDE;
            } else if (SameWord(name, "Unregister") || SameWord(name, "Unregserver")) {
                info.m_nShellCommand = AppUnregister;
            } else if (SameWord(name, "Embedding")) {
                info.m_bShowSplash = false;
                info.m_bRunEmbedded = true;
            } else if (SameWord(name, "Automation")) {
                info.m_bShowSplash = false;
                info.m_bRunAutomated = true;
            }
            continue;
        }
        if (info.m_strFileName.isEmpty()) {
            info.m_strFileName = arg;
        } else if (info.m_nShellCommand == FilePrintTo) {
            if (info.m_strPrinterName.isEmpty())
                info.m_strPrinterName = arg;
            else if (info.m_strDriverName.isEmpty())
                info.m_strDriverName = arg;
            else if (info.m_strPortName.isEmpty())
                info.m_strPortName = arg;
        }
    }
    if (info.m_nShellCommand == FileNew && !info.m_strFileName.isEmpty())
        info.m_nShellCommand = FileOpen;
    return info;
}
