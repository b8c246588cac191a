#pragma once

#include <QByteArray>
#include <QString>

// Cue texts are byte strings, kept byte for byte as read from a cue list file or the clipboard.
// These helpers turn them into text for display and back after the operator edited them.

// The bytes as UTF-8 when they are valid UTF-8, otherwise as Windows-1252 (every byte maps to
// one character; the five unassigned bytes show as the C1 control of the same value).
QString ToDisplayText(const QByteArray& bytes);

// Text the operator typed, stored as UTF-8.
QByteArray FromEditedText(const QString& text);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, <= U+10FFFF).
bool IsValidUtf8(const QByteArray& bytes);

// The Windows-1252 decoding of the bytes, whatever they are.
QString FromWindows1252(const QByteArray& bytes);
