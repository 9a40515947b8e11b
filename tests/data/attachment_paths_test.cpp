// A file name from a list's cell, told by its form and resolved to the full
// path Windows would open, from the text alone.
#include "data/attachment_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Full(const char* folder, const char* path) {
    char out[600];
    const size_t n = FullAttachmentPath(folder, path, out, sizeof out);
    return n ? std::string(out, n) : std::string("<none>");
}

TEST(AttachmentPaths, AreResolvedAsWindowsOpensThem) {
    // ".." never climbs above the drive or the share.
    EXPECT_EQ(Full("C:\\Lists", "..\\..\\..\\..\\etc\\passwd"), "C:\\etc\\passwd");
    EXPECT_EQ(Full("C:\\Lists", "/etc/passwd"), "C:\\etc\\passwd");
    EXPECT_EQ(Full("C:\\Lists", "a\\.\\b\\..\\..\\x.pdf"), "C:\\Lists\\x.pdf");
    EXPECT_EQ(Full("C:\\Lists", "sub//x.pdf"), "C:\\Lists\\sub\\x.pdf");
    // Trailing dots and blanks of a component are not part of its name.
    EXPECT_EQ(Full("C:\\Lists", "x.pdf. . "), "C:\\Lists\\x.pdf");
    EXPECT_EQ(Full("C:\\Lists", "dir. \\x"), "C:\\Lists\\dir\\x");
    // A drive-relative name: the list's folder on its own drive, the root on another.
    EXPECT_EQ(Full("C:\\Lists", "c:x.pdf"), "C:\\Lists\\x.pdf");
    EXPECT_EQ(Full("C:\\Lists", "D:x.pdf"), "D:\\x.pdf");
    EXPECT_EQ(Full("C:\\Lists", "D:\\a\\..\\x.pdf"), "D:\\x.pdf");
    EXPECT_EQ(Full("C:\\Lists", "C:\\"), "C:\\");
    EXPECT_EQ(Full("C:\\Lists", "\\\\?\\C:\\a\\..\\b"), "C:\\b");
    // Shares keep their server and share name.
    EXPECT_EQ(Full("\\\\srv\\share\\lists", "..\\..\\..\\x"), "\\\\srv\\share\\x");
    EXPECT_EQ(Full("\\\\srv\\share\\lists", "\\x"), "\\\\srv\\share\\x");
    EXPECT_EQ(Full("C:\\Lists", "//srv/share/./a/../b"), "\\\\srv\\share\\b");
    EXPECT_EQ(Full("C:\\Lists", "\\\\?\\UNC\\srv\\share\\b"), "\\\\srv\\share\\b");
    EXPECT_EQ(Full("C:\\Lists", "\\\\srv\\..\\..\\x"), "\\\\srv\\x");
    // Without a folder a relative name stays relative, its leading ".." kept.
    EXPECT_EQ(Full("", "a\\..\\..\\..\\x"), "..\\..\\x");
    EXPECT_EQ(Full("", "x.pdf"), "x.pdf");
    // Separators alone name no server.
    EXPECT_EQ(Full("C:\\Lists", "\\\\\\\\"), "<none>");

    // No room for the root, or for its end, is no path at all.
    char one[1], two[2], three[3];
    EXPECT_EQ(FullAttachmentPath("C:\\Lists", "\\\\srv\\s", one, sizeof one), 0u);
    EXPECT_EQ(FullAttachmentPath("C:\\Lists", "D:x", two, sizeof two), 0u);
    EXPECT_EQ(FullAttachmentPath("C:\\Lists", "D:\\", three, sizeof three), 0u);
    char small[8];
    EXPECT_EQ(FullAttachmentPath("C:\\Lists", "x.pdf", small, sizeof small), 0u);
    EXPECT_EQ(FullAttachmentPath("C:\\Lists", "x.pdf", small, 0), 0u);
}

TEST(AttachmentPaths, AreToldByTheirForm) {
    using K = AttachmentPathKind;
    const struct {
        const char* path;
        AttachmentPathKind kind;
    } cases[] = {
        {"C:\\x.pdf", K::Local},
        {"..\\x.pdf", K::Local},
        {"\\\\?\\C:\\x.pdf", K::Local},
        {"console.pdf", K::Local},
        {"com10", K::Local},
        {"\\\\server\\share\\x.pdf", K::Network},
        {"//server/share/x.pdf", K::Network},
        {"\\/server\\x", K::Network},
        {"\\\\?\\UNC\\server\\share\\x", K::Network},
        {"//?/unc/server/x", K::Network},
        {"\\\\.\\pipe\\x", K::Device},
        {"\\\\?\\Volume{1234}\\x", K::Device},
        {"\\??\\C:\\x", K::Device},
        {"NUL", K::Device},
        {"C:\\docs\\Con.txt", K::Device},
        {"COM\xC2\xB9", K::Device},
        {"\\\\server\\share\\lpt1", K::Device},
        {"x.pdf:secret", K::Stream},
        {"C:x:y", K::Stream},
        {"\\\\server\\share\\x.pdf:s", K::Stream},
        {"http://e.com/x", K::Url},
        {"file:///C:/x.pdf", K::Url},
        {"mailto:x@y", K::Url},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KindOfAttachmentPath(c.path), c.kind) << c.path;
}

TEST(AttachmentPaths, CompareWithoutLetterCaseAndByWholeComponents) {
    EXPECT_TRUE(SameAttachmentPath("C:\\Lists\\List.CSV", "c:\\lists\\list.csv"));
    EXPECT_FALSE(SameAttachmentPath("C:\\Lists\\list.csv", "C:\\Lists\\list.csv2"));
    EXPECT_TRUE(AttachmentPathIsUnder("C:\\Lists\\sub\\x", "c:\\LISTS"));
    EXPECT_TRUE(AttachmentPathIsUnder("C:\\x", "C:\\"));
    EXPECT_FALSE(AttachmentPathIsUnder("C:\\Listsx\\y", "C:\\Lists"));
    EXPECT_FALSE(AttachmentPathIsUnder("C:\\Lists", "C:\\Lists"));
    EXPECT_FALSE(AttachmentPathIsUnder("C:\\Lists\\x", ""));
}

// A short name reaches the same folder as its long name; from the text alone
// every short name that the folder's names could have is taken as theirs.
TEST(AttachmentPaths, ShortNamesThatCouldBeTheFoldersAreTakenAsIt) {
    const char* folder = "C:\\Users\\Ann Lee\\AppData\\Roaming\\Quorvel";
    for (const char* path : {"C:\\Users\\ANNLEE~1\\APPDAT~1\\Roaming\\QUORVE~1\\tosent.txt",
                             "c:\\users\\ann lee\\appdata\\roaming\\quorve~2\\x",
                             "C:\\Users\\Ann Lee\\AppData\\ROAMIN~1\\Quorvel",
                             "C:\\Users\\ANNL~12\\AppData\\Roaming\\Quorvel\\x"})
        EXPECT_TRUE(AttachmentPathMayBeUnder(path, folder)) << path;
    for (const char* path : {"C:\\Users\\Ann Lee\\AppData\\Roaming\\QUORVX~1\\x",
                             "C:\\Users\\Ann Lee\\AppData\\Roaming\\QUORVE~X\\x",
                             "C:\\Users\\Ann Lee\\AppData\\Roaming\\QUORVEL~1X\\x",
                             "C:\\Users\\Ann Lee\\AppData\\Roaming",
                             "D:\\Users\\Ann Lee\\AppData\\Roaming\\QUORVE~1\\x",
                             "C:\\Users\\Ann Lee\\Documents\\QUORVE~1\\x"})
        EXPECT_FALSE(AttachmentPathMayBeUnder(path, folder)) << path;
    EXPECT_TRUE(AttachmentPathMayBeUnder(folder, folder));
    EXPECT_FALSE(AttachmentPathMayBeUnder("C:\\x", ""));
}

} // namespace
