// Numbers as a spreadsheet shows them under the formats people use, and the
// formats that are not reproduced told apart (shown in the General form).
#include "data/number_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    double value;
    const char* code; // "" with id
    int id;
    const char* shown;
    bool reproduced;
};

std::string Shown(double value, const char* code, int id, bool date1904, bool* reproduced) {
    NumberFormat format;
    format.id = id;
    format.code = code;
    std::string out;
    *reproduced = FormatCellNumber(value, format, date1904, &out);
    return out;
}

void Check(const Case* cases, size_t count, bool date1904 = false) {
    for (size_t i = 0; i < count; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.code) + " #" + std::to_string(c.id) + " of " +
                     std::to_string(c.value));
        bool reproduced = false;
        EXPECT_EQ(Shown(c.value, c.code, c.id, date1904, &reproduced), c.shown);
        EXPECT_EQ(reproduced, c.reproduced);
    }
}

TEST(NumberFormatTest, GeneralKeepsFifteenDigitsAndNoTrailingZeros) {
    const Case cases[] = {
        {0, "", 0, "0", true},
        {42, "", 0, "42", true},
        {-3.5, "", 0, "-3.5", true},
        {0.1 + 0.2, "", 0, "0.3", true},
        {4915112345678, "", 0, "4915112345678", true},
        {123456789012345, "", 0, "123456789012345", true},
        {1e15, "", 0, "1E+15", true},
        {1.5e-10, "", 0, "1.5E-10", true},
        {0.000123, "General", 0, "0.000123", true},
        {1234.5, "@", 0, "1234.5", true},
        {7, "", 5, "7", false}, // a currency the locale decides
    };
    Check(cases, std::size(cases));
}

TEST(NumberFormatTest, DecimalsThousandsPercentAndScientific) {
    const Case cases[] = {
        {2.675, "", 2, "2.68", true}, // rounded as shown, not as stored in binary
        {1.005, "0.00", 0, "1.01", true},
        {-1234567.891, "", 4, "-1,234,567.89", true},
        {999.996, "#,##0.00", 0, "1,000.00", true},
        {0.5, "", 1, "1", true},
        {-0.4, "0", 0, "0", true}, // no minus on a number shown as zero
        {0.125, "", 10, "12.50%", true},
        {0.07, "0%", 0, "7%", true},
        {12345.678, "", 11, "1.23E+04", true},
        {0.000123, "0.00E+00", 0, "1.23E-04", true},
        {0, "0.00E+00", 0, "0.00E+00", true},
        {42, "00000", 0, "00042", true}, // leading zeros of a postcode
        {5551234567, "(000) 000-0000", 0, "(555) 123-4567", true},
        {3.1, "#.##", 0, "3.1", true},
        {3, "#.##", 0, "3.", true},
        {1500000, "#,##0,\"K\"", 0, "1,500K", true},
        {-5, "#,##0;(#,##0)", 0, "(5)", true},
        {0, "0.0;-0.0;\"zero\"", 0, "zero", true},
        {12.5, "[$\xE2\x82\xAC-407] #,##0.00", 0, "\xE2\x82\xAC 12.50", true},
        {12.5, "[Red]0.0_)", 0, "12.5 ", true},
        {-12.5, "", 40, "(12.50)", true},
        {1234, "##0.0E+0", 0, "1.2E+3", true}, // the engineering form: powers of a thousand
        {123456.78, "", 48, "123.5E+3", true},
        {0.001234, "##0.0E+0", 0, "1.2E-3", true},
        {0.0001234, "##0.0E+0", 0, "123.4E-6", true},
        {999.96, "##0.0E+0", 0, "1.0E+3", true},
        {9.996, "0.00E+00", 0, "1.00E+01", true},
        {-12345, "#0.0E+00", 0, "-1.2E+04", true},
        {150, "[>100]0;0", 0, "150", false},
        // Enough percent signs take it past the doubles: General, not reproduced.
        {1e300, "0.0E+0%%%%%%%%", 0, "1E+300", false},
    };
    Check(cases, std::size(cases));
}

// As LibreOffice Calc shows them (its CSV export of the cells "as shown"):
// the nearest fraction within the denominator's digits, padded to the
// placeholders, a mixed number's whole part left out when it is nothing.
TEST(NumberFormatTest, FractionsMixedImproperAndWithAWrittenDenominator) {
    const Case cases[] = {
        {0.5, "", 12, " 1/2", true},
        {11.25, "", 12, "11 1/4", true},
        {3.14159265, "", 12, "3 1/7", true},
        {1234.5678, "", 12, "1234 4/7", true},
        {3.14159265, "", 13, "3 14/99", true},
        {0.5, "", 13, "  1/2 ", true},
        {2.99, "", 13, "2 98/99", true},
        {3.001, "# ??\?/??\?", 0, "3   1/999", true}, // the bound's semiconvergent
        {1234.5678, "# ??\?/??\?", 0, "1234  67/118", true},
        {2.99, "", 12, "3    ", true},   // the fraction rounds up into the whole
        {0.0004, "", 12, "0    ", true}, // and down to nothing: blanks in its place
        {7, "# ?/? \"kg\"", 0, "7     kg", true},
        {-2.75, "", 12, "-2 3/4", true},
        {11.25, "?/?", 0, "45/4", true},
        {2.99, "?\?/?\?", 0, "296/99", true},
        {0, "?/?", 0, "0/1", true},
        {0.5, "0 ?/?", 0, "0 1/2", true},
        {1234.5678, "#,##0 ?/?", 0, "1,234 4/7", true},
        {0.333333, "# ?/4", 0, " 1/4", true},
        {3.001, "# ?/4", 0, "3   ", true},
        {1234.5678, "# ?/16", 0, "1234 9/16", true},
        {1e16, "", 12, "1E+16", false}, // past the digits a double holds whole
        {5e12, "?\?\?/?\?\?", 0, "5000000000000", false},
        {0.5, "0.0 ?/?", 0, "0.5", false}, // a point beside a fraction
    };
    Check(cases, std::size(cases));
}

TEST(NumberFormatTest, DatesAndTimesInBothDateSystems) {
    const Case cases1900[] = {
        {45658, "", 14, "01-01-25", true}, // 2025-01-01
        {45658, "yyyy-mm-dd", 0, "2025-01-01", true},
        {45658.75, "", 22, "1/1/25 18:00", true},
        {45658.75, "", 18, "6:00 PM", true},
        {45658.5, "dddd, mmmm d, yyyy h:mm:ss AM/PM", 0, "Wednesday, January 1, 2025 12:00:00 PM",
         true},
        {1, "yyyy-mm-dd", 0, "1900-01-01", true},
        {59, "yyyy-mm-dd", 0, "1900-02-28", true},
        {60, "yyyy-mm-dd", 0, "1900-02-29", true}, // the day that never was, as it is shown
        {61, "yyyy-mm-dd ddd", 0, "1900-03-01 Thu", true},
        {2958465, "d-mmm-yy", 0, "31-Dec-99", true},
        {0.999999, "hh:mm:ss", 0, "00:00:00", true}, // rounded to the second, the day carried
        {1.5, "", 46, "36:00:00", true},
        {0.0104166666, "mm:ss", 0, "15:00", true},
        {45658, "mmmmm yy", 0, "J 25", true},
        {-1, "yyyy-mm-dd", 0, "-1", false},
        {0, "yyyy-mm-dd", 0, "0", false},
        {0.5, "mmmm", 0, "0.5", false}, // a month of no date: there is none to name
        {0, "m", 0, "0", false},
        {0.5, "h mmm", 0, "0.5", false},  // three m's are a month, after an hour too
        {0.75, "h:mm", 0, "18:00", true}, // minutes need none
        {3e6, "yyyy-mm-dd", 0, "3000000", false},
        {1.25, "", 47, "1.25", false},
    };
    Check(cases1900, std::size(cases1900));
    const Case cases1904[] = {
        {0, "yyyy-mm-dd dddd", 0, "1904-01-01 Friday", true},
        {44196, "yyyy-mm-dd", 0, "2025-01-01", true},
    };
    Check(cases1904, std::size(cases1904), true);
    NumberFormat date;
    date.id = 14;
    EXPECT_TRUE(IsDateFormat(date));
    date.code = "[h]:mm";
    EXPECT_TRUE(IsDateFormat(date));
    date.code = "0.00\" days\"";
    EXPECT_FALSE(IsDateFormat(date));
}

} // namespace
