#pragma once

#include <QSettings>
#include <QString>

// Where the program keeps its settings: organisation "Veldmark Software", application "MARVANE",
// sections and values named as the program's parts use them ("Recent File List", "MainFrame",
// "Settings"). UI thread only.
namespace mvapp {

inline constexpr const char* kOrganization = "Veldmark Software";
inline constexpr const char* kApplication = "MARVANE";

// The program's settings store.
QSettings OpenSettings();

// An integer of a section, or `defaultValue` when absent or not a number.
int GetProfileInt(const QString& section, const QString& entry, int defaultValue);
void WriteProfileInt(const QString& section, const QString& entry, int value);

// Removes every setting of the program, and the organisation's folder when it is then empty.
// Returns true when nothing is left behind.
bool RemoveSettings();

}  // namespace mvapp
