#include "shell/DialogDataExchange.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace mvdlg {
namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The part of the field that is read, with its leading blanks skipped.
QString ReadablePart(const QString& text, int* start) {
    const QString head = text.left(kMaxNumericChars);
    int i = 0;
    while (i < head.size() && IsBlank(head[i])) ++i;
    *start = i;
    return head;
}

bool OnlyBlanksFrom(const QString& s, int i) {
    for (; i < s.size(); ++i) {
        if (!IsBlank(s[i])) return false;
    }
    return true;
}

}  // namespace

bool ReadInteger(const QString& text, int32_t* value) {
    int start = 0;
    const QString s = ReadablePart(text, &start);
    int i = start;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    const int firstDigit = i;
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    while (i < s.size() && IsAsciiDigit(s[i])) {
        magnitude = std::min<int64_t>(magnitude * 10 + (s[i].unicode() - u'0'), kLimit);
        ++i;
    }
    if (i == firstDigit) return false;  // no digits at all
    int64_t v = negative ? -magnitude : magnitude;
    v = std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                            std::numeric_limits<int32_t>::max());
    if (v == 0 && s[start] != u'0') return false;  // "-0", "+0"
    if (!OnlyBlanksFrom(s, i)) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool ReadNumber(const QString& text, double* value) {
    int start = 0;
    const QString s = ReadablePart(text, &start);
    int i = start;
    std::string ascii;  // the number as accepted, for the conversion
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    int digits = 0;
    while (i < s.size() && IsAsciiDigit(s[i])) {
        ascii += static_cast<char>(s[i].unicode());
        ++digits;
        ++i;
    }
    if (i < s.size() && s[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < s.size() && IsAsciiDigit(s[i])) {
            ascii += static_cast<char>(s[i].unicode());
            ++digits;
            ++i;
        }
    }
    if (digits == 0) return false;
    // An exponent counts only with at least one digit; otherwise the 'e' is left over and fails.
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        int j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) {
            exponent += static_cast<char>(s[j].unicode());
            ++j;
        }
        const int firstExpDigit = j;
        while (j < s.size() && IsAsciiDigit(s[j])) {
            exponent += static_cast<char>(s[j].unicode());
            ++j;
        }
        if (j > firstExpDigit) {
            ascii += exponent;
            i = j;
        }
    }
    if (!OnlyBlanksFrom(s, i)) return false;

    // The syntax is checked above; the conversion is the C library's in the "C" locale, so the
    // operator's locale never changes what a field means. Overflow gives infinity (which fails
    // the range check), underflow a value at or near zero.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    double v = strtod_l(ascii.c_str(), nullptr, cLocale);
    if (negative) v = -v;
    if (v == 0.0 && s[start] != u'0') return false;
    *value = v;
    return true;
}

QString FormatInteger(int32_t value) { return QString::number(value); }

QString FormatNumber(double value) { return QString::asprintf("%.*g", 15, value); }

QString IntegerFormatMessage() { return QStringLiteral("Please enter an integer."); }

QString IntegerRangeMessage(int32_t lo, int32_t hi) {
    return QStringLiteral("Please enter an integer between %1 and %2.")
        .arg(FormatInteger(lo), FormatInteger(hi));
}

QString NumberFormatMessage() { return QStringLiteral("Please enter a number."); }

QString NumberRangeMessage(double lo, double hi) {
    return QStringLiteral("Please enter a number between %1 and %2.")
        .arg(FormatNumber(lo), FormatNumber(hi));
}

QString MaxCharsMessage(int limit) {
    return QStringLiteral("Please enter no more than %1 characters.").arg(limit);
}

}  // namespace mvdlg
