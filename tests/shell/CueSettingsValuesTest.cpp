// The reading rules of the dialog's numeric fields and the conversions between a cue record's
// stored values and what the Cue Settings dialog shows.
#include <gtest/gtest.h>

#include <cmath>

#include "cuelist/CQRecord.h"
#include "shell/CueSettingsConversions.h"
#include "shell/DialogDataExchange.h"

namespace {

struct IntCase {
    const char* text;
    bool ok;
    int32_t value;
};

TEST(DialogNumbers, IntegerFieldsAcceptBlanksSignAndDigitsOnly) {
    const IntCase
        cases[] =
            {
                {"5", true, 5},    {"  -100", true, -100}, {"\t+7\t ", true, 7},
                {"0", true, 0},    {"  0  ", true, 0},     {"007", true, 7},
                {"-0", false, 0},  // reads as 0 but does not start with '0'
                {"+0", false, 0},  {"", false, 0},         {"   ", false, 0},
                {"-", false, 0},   {"abc", false, 0},      {"12a", false, 0},
                {"1 2", false, 0}, {"- 5", false, 0},      {"1.0", false, 0},
                {"1e2", false, 0}, {"\xd9\xa3", false, 0},  // an Arabic-Indic digit is no decimal
                                                            // digit here
            };
    for (const auto& c : cases) {
        int32_t v = -12345;
        EXPECT_EQ(mvdlg::ReadInteger(QString::fromUtf8(c.text), &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(DialogNumbers, IntegerFieldsReadOnlyTheFirst31CharactersAndSaturate) {
    int32_t v = 0;
    // 30 blanks and "12": only "1" is inside the first 31 characters.
    ASSERT_TRUE(mvdlg::ReadInteger(QString(30, u' ') + "12", &v));
    EXPECT_EQ(v, 1);
    // 31 blanks and a digit: nothing but blanks is read.
    EXPECT_FALSE(mvdlg::ReadInteger(QString(31, u' ') + "5", &v));
    // Too large for 32 bits: saturates, so the range check (not the format check) rejects it.
    ASSERT_TRUE(mvdlg::ReadInteger("99999999999999999999", &v));
    EXPECT_EQ(v, INT32_MAX);
    ASSERT_TRUE(mvdlg::ReadInteger("-99999999999999999999", &v));
    EXPECT_EQ(v, INT32_MIN);
}

struct NumberCase {
    const char* text;
    bool ok;
    double value;
};

TEST(DialogNumbers, NumberFieldsAcceptDecimalsWithExponentButNoDecimalComma) {
    const NumberCase cases[] = {
        {"2.5", true, 2.5},       {" 60 ", true, 60.0}, {"1e1", true, 10.0}, {"1E+1", true, 10.0},
        {"25e-1", true, 2.5},     {".5", true, 0.5},    {"5.", true, 5.0},   {"-1.5", true, -1.5},
        {"0.0004", true, 0.0004}, {"0.0", true, 0.0},   {"1,5", false, 0},   {"1e", false, 0},
        {"1e+", false, 0},        {"e5", false, 0},     {".", false, 0},     {"inf", false, 0},
        {"nan", false, 0},        {"0x10", false, 0},   {"-0.0", false, 0},  {".0", false, 0},
        {"", false, 0},           {"2.5s", false, 0},
    };
    for (const auto& c : cases) {
        double v = -1.0;
        EXPECT_EQ(mvdlg::ReadNumber(QString::fromUtf8(c.text), &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
    double v = 0.0;
    ASSERT_TRUE(mvdlg::ReadNumber("1e999", &v));  // too large: infinity, fails the range check
    EXPECT_TRUE(std::isinf(v));
}

TEST(DialogNumbers, NumbersAreWrittenInShortestFormWith15Digits) {
    EXPECT_EQ(mvdlg::FormatNumber(5.0), "5");
    EXPECT_EQ(mvdlg::FormatNumber(2.5), "2.5");
    EXPECT_EQ(mvdlg::FormatNumber(0.0), "0");
    EXPECT_EQ(mvdlg::FormatNumber(2009 * 0.001), "2.009");
    EXPECT_EQ(mvdlg::FormatNumber(100 * 0.001), "0.1");
    EXPECT_EQ(mvdlg::FormatInteger(-100), "-100");
}

TEST(DialogNumbers, MessagesCarryTheRangeBounds) {
    EXPECT_EQ(mvdlg::IntegerRangeMessage(-100, 0), "Please enter an integer between -100 and 0.");
    EXPECT_EQ(mvdlg::NumberRangeMessage(0.0, 60.0), "Please enter a number between 0 and 60.");
    EXPECT_EQ(mvdlg::MaxCharsMessage(10), "Please enter no more than 10 characters.");
}

TEST(CueSettingsConversions, TimesAreTruncatedTowardZero) {
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(2.01), 2009u);  // 2009.9999999999998
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(0.0004), 0u);
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(60.0), 60000u);
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(2.5), 2500u);
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(-1.0), 0u);
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(NAN), 0u);
    EXPECT_EQ(mvcue::MillisecondsFromSeconds(1e12), 0xFFFFFFFFu);
    EXPECT_DOUBLE_EQ(mvcue::SecondsFromMilliseconds(5000), 5.0);
    EXPECT_DOUBLE_EQ(mvcue::SecondsFromMilliseconds(0xFFFFFFFFu), 4294967.295);
}

TEST(CueSettingsConversions, AnUntouchedTimeKeepsItsMilliseconds) {
    // Every stored time up to the dialog's limit comes back unchanged when its field is read
    // back as the dialog wrote it (372 of them would lose 1 ms through the truncation alone).
    for (uint32_t ms = 0; ms <= 60000; ++ms) {
        double shown = 0.0;
        ASSERT_TRUE(
            mvdlg::ReadNumber(mvdlg::FormatNumber(mvcue::SecondsFromMilliseconds(ms)), &shown));
        ASSERT_EQ(mvcue::MillisecondsBack(ms, shown), ms) << ms;
    }
    EXPECT_EQ(mvcue::MillisecondsBack(0xFFFFFFFFu, 4294967.295), 0xFFFFFFFFu);
    // A new value is truncated as ever, also one that lands next to the stored time.
    EXPECT_EQ(mvcue::MillisecondsBack(2000, 1.001), 1000u);
    EXPECT_EQ(mvcue::MillisecondsBack(1001, 2.01), 2009u);
    EXPECT_EQ(mvcue::MillisecondsBack(1001, 1.0), 1000u);
    EXPECT_EQ(mvcue::MillisecondsBack(5000, 0.0004), 0u);
}

TEST(CueSettingsConversions, FlagsAreRebuiltFromTypeAndOptionsOnly) {
    const uint32_t stray = 0x4000FF00u;
    EXPECT_EQ(mvcue::FlagsFromSettings(1, false, true, stray), 0x20000001u);
    EXPECT_EQ(mvcue::FlagsFromSettings(3, true, true, 0), 0x30000003u);
    EXPECT_EQ(mvcue::FlagsFromSettings(0, false, false, 0xFFFFFFFFu), 0u);
    // No type selected: the old type bits stay, nothing else.
    EXPECT_EQ(mvcue::FlagsFromSettings(-1, true, false, 0x400000F7u), 0x100000F7u);

    EXPECT_EQ(mvcue::CueTypeFromFlags(0x30000002u), 2);
    EXPECT_EQ(mvcue::CueTypeFromFlags(0x00000007u), -1);
    EXPECT_TRUE(mvcue::IsExclusive(CQRecord::kFlagExclusive));
    EXPECT_FALSE(mvcue::IsExclusive(CQRecord::kFlagLooped));
    EXPECT_TRUE(mvcue::IsLooped(CQRecord::kFlagLooped));
}

}  // namespace
