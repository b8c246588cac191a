#pragma once

#include <QString>
#include <cstdint>

// Reading and writing the numeric fields of the program's dialogs. A field holds optional blanks
// or tabs, an optional sign, the number, and optional trailing blanks or tabs; only the first
// kMaxNumericChars characters of a field are read. A decimal point is always '.', whatever the
// locale: "1,5" is not a number.
namespace mvdlg {

inline constexpr int kMaxNumericChars = 31;

// An integer field. On success stores the value, saturated to the 32-bit range (a value outside
// it then fails the field's range check, not its format check). Fails for anything but the form
// above, and for a field that reads as 0 unless its first character after the blanks is '0'.
bool ReadInteger(const QString& text, int32_t* value);

// A number field: a decimal number with an optional fraction and exponent ("2.5", "1e1", "-.5").
// Values too large for a double read as +/-infinity (and fail the range check); the zero rule of
// ReadInteger applies as well.
bool ReadNumber(const QString& text, double* value);

// The text an integer field is filled with: plain decimal.
QString FormatInteger(int32_t value);

// The text a number field is filled with: up to 15 significant digits, shortest form ("5", "2.5").
QString FormatNumber(double value);

// The messages of the fields' checks.
QString IntegerFormatMessage();                       // "Please enter an integer."
QString IntegerRangeMessage(int32_t lo, int32_t hi);  // "... between %1 and %2."
QString NumberFormatMessage();                        // "Please enter a number."
QString NumberRangeMessage(double lo, double hi);
QString MaxCharsMessage(int limit);  // "Please enter no more than %1 characters."

}  // namespace mvdlg
