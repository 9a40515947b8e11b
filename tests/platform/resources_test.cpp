// The string table and the version resource, as the library reads them.
#include "test_support.h"

#include "base/string_ids.h"

namespace {

TEST(Resources, EveryStringOfTheTableLoadsWithItsText) {
    struct Entry {
        UINT id;
        const char* text;
    };
    const Entry table[] = {
#define QV_STRING(id, name, text) {id, text},
#include "base/string_table.inc"
#undef QV_STRING
    };
    for (const Entry& e : table) {
        char buffer[1024] = "unchanged";
        int n = LoadStringA(TestModule(), e.id, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, e.text) << "string " << e.id;
        EXPECT_EQ(n, static_cast<int>(std::string(e.text).size()));
    }
}

TEST(Resources, QuotesAndLineBreaksSurviveTheResourceScript) {
    char buffer[256];
    LoadStringA(TestModule(), IDS_NO_EMAIL_FIELD, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "\"E-Mail\" field could not be found in the mailing list.\n"
                         "This is a required field.\nSee the online help for mailing lists.");
}

TEST(Resources, AStringLongerThanTheBufferIsCutAndTerminated) {
    char buffer[8];
    int n = LoadStringA(TestModule(), IDS_CANNOT_OPEN_MAILING_LIST, buffer, sizeof buffer);
    EXPECT_EQ(n, 7);
    EXPECT_STREQ(buffer, "Could n");
}

} // namespace
