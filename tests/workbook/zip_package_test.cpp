// The package reader: parts found and inflated whole, and every package it
// must refuse refused with its reason, in bounded memory.
#include "test_support.h"
#include "zip_builder.h"

#include "data/zip_package.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ZipPackageTest = PlatformTest;

// Opens bytes and returns the fault of the package (None when it opened).
PackageFault OpenFault(const std::string& bytes, PackageLimits limits = PackageLimits()) {
    MemoryPackageBytes source(bytes.data(), bytes.size());
    ZipPackage package(limits);
    package.Open(&source);
    return package.fault();
}

// The whole of one part, or its fault.
struct PartResult {
    std::string text;
    PackageFault fault = PackageFault::None;
};

PartResult ReadPart(const std::string& bytes, const char* name, int piece = 4096,
                    PackageLimits limits = PackageLimits()) {
    PartResult result;
    MemoryPackageBytes source(bytes.data(), bytes.size());
    ZipPackage package(limits);
    if (!package.Open(&source)) {
        result.fault = package.fault();
        return result;
    }
    const PackagePart* part = package.Find(name);
    if (!part) {
        result.fault = PackageFault::Missing;
        return result;
    }
    PartReader reader;
    if (!reader.Open(package, *part)) {
        result.fault = reader.fault();
        return result;
    }
    std::string buffer(static_cast<size_t>(piece), '\0');
    for (;;) {
        const int got = reader.Read(&buffer[0], piece);
        if (got < 0) {
            result.fault = reader.fault();
            return result;
        }
        if (got == 0)
            return result;
        result.text.append(buffer, 0, static_cast<size_t>(got));
    }
}

std::string Repeated(size_t bytes) {
    std::string text;
    for (size_t i = 0; text.size() < bytes; ++i)
        text += "<row r=\"" + std::to_string(i) + "\"><c><v>" + std::to_string(i * 7919 % 1000) +
                "</v></c></row>";
    text.resize(bytes);
    return text;
}

TEST_F(ZipPackageTest, StoredAndDeflatedPartsReadWholeInPiecesOfAnySize) {
    ZipBuilder zip;
    const std::string sheet = Repeated(300000);
    zip.Add("[Content_Types].xml", "<Types/>", false);
    zip.Add("xl/worksheets/sheet1.xml", sheet);
    zip.Add("xl/empty.xml", "");
    zip.comment = "written by hand";
    const std::string bytes = zip.Build();
    for (int piece : {1, 7, 4096, 1 << 20}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(ReadPart(bytes, "xl/worksheets/sheet1.xml", piece).text, sheet);
    }
    EXPECT_EQ(ReadPart(bytes, "[Content_Types].xml").text, "<Types/>");
    // Part names are case-insensitive, and may be given with the leading slash.
    EXPECT_EQ(ReadPart(bytes, "/XL/Worksheets/Sheet1.XML").text, sheet);
    PartResult empty = ReadPart(bytes, "xl/empty.xml");
    EXPECT_EQ(empty.fault, PackageFault::None);
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(ReadPart(bytes, "xl/sharedStrings.xml").fault, PackageFault::Missing);
}

TEST_F(ZipPackageTest, WhatIsNotAPackageIsToldFromAPackageCutShort) {
    EXPECT_EQ(OpenFault(""), PackageFault::NotPackage);
    EXPECT_EQ(OpenFault("Name,E-Mail\nAnn,ann@example.com\n"), PackageFault::NotPackage);
    // A workbook saved with a password is a compound file.
    EXPECT_EQ(OpenFault(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, 'x')),
              PackageFault::Encrypted);
    ZipBuilder zip;
    zip.Add("xl/workbook.xml", Repeated(5000));
    const std::string bytes = zip.Build();
    for (size_t cut : {bytes.size() - 1, bytes.size() - 30, bytes.size() / 2, size_t{10}}) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(OpenFault(bytes.substr(0, cut)), PackageFault::Truncated);
    }
}

TEST_F(ZipPackageTest, PackagesInFormsNotReadAreRefusedWithTheirReason) {
    ZipBuilder zip;
    zip.Add("a.xml", "<a/>");
    std::string bytes = zip.Build();
    const size_t end = bytes.size() - 22;
    {
        std::string split = bytes;
        split[end + 4] = 1; // this disk's number
        EXPECT_EQ(OpenFault(split), PackageFault::Split);
    }
    {
        std::string zip64 = bytes;
        for (int i = 0; i < 4; ++i)
            zip64[end + 16 + i] = '\xFF'; // the directory's offset in the ZIP64 record
        EXPECT_EQ(OpenFault(zip64), PackageFault::Zip64);
    }
    {
        std::string locator = bytes;
        std::string record;
        ZipBuilder::Put32(record, 0x07064b50);
        record.append(16, '\0');
        locator.insert(end, record);
        EXPECT_EQ(OpenFault(locator), PackageFault::Zip64);
    }
    PackageLimits few;
    few.maxParts = 2;
    zip.Add("b.xml", "<b/>");
    zip.Add("c.xml", "<c/>");
    EXPECT_EQ(OpenFault(zip.Build(), few), PackageFault::TooManyParts);
    zip.Add("B.XML", "<b again/>");
    EXPECT_EQ(OpenFault(zip.Build()), PackageFault::Damaged);
    // A name stored with a leading slash is the same part as one without.
    zip.entries.pop_back();
    zip.Add("/c.xml", "<c again/>");
    EXPECT_EQ(OpenFault(zip.Build()), PackageFault::Damaged);
    zip.entries.pop_back();
    zip.Add("//d.xml", "<d/>");
    EXPECT_EQ(ReadPart(zip.Build(), "d.xml").text, "<d/>");
}

TEST_F(ZipPackageTest, APartThatCannotBeTakenAsItIsEndsItsReading) {
    ZipBuilder zip;
    zip.Add("plain.xml", "<a/>");
    zip.Add("locked.xml", "<a/>");
    zip.entries.back().flags = 1;
    zip.Add("aes.xml", "<a/>");
    zip.entries.back().method = 99;
    zip.Add("bzip2.xml", "<a/>");
    zip.entries.back().method = 12;
    zip.Add("stored-but-sized.xml", "<a/>", false);
    zip.entries.back().declaredSize = 9;
    zip.Add("short.xml", "<aaaaaaaaaa/>");
    zip.entries.back().declaredSize = 5; // inflates beyond what it declares
    zip.Add("long.xml", "<a/>");
    zip.entries.back().declaredSize = 50; // ends before it
    const std::string bytes = zip.Build();
    EXPECT_EQ(ReadPart(bytes, "plain.xml").text, "<a/>");
    EXPECT_EQ(ReadPart(bytes, "locked.xml").fault, PackageFault::Encrypted);
    EXPECT_EQ(ReadPart(bytes, "aes.xml").fault, PackageFault::Encrypted);
    EXPECT_EQ(ReadPart(bytes, "bzip2.xml").fault, PackageFault::Method);
    EXPECT_EQ(ReadPart(bytes, "stored-but-sized.xml").fault, PackageFault::Damaged);
    EXPECT_EQ(ReadPart(bytes, "short.xml").fault, PackageFault::Damaged);
    EXPECT_EQ(ReadPart(bytes, "long.xml").fault, PackageFault::Damaged);
}

TEST_F(ZipPackageTest, AlteredDataFailsItsCheckAtTheEndOfThePart) {
    ZipBuilder zip;
    zip.Add("stored.xml", "<worksheet>0123456789</worksheet>", false);
    zip.Add("deflated.xml", Repeated(20000));
    std::string bytes = zip.Build();
    const size_t stored = bytes.find("0123456789");
    bytes[stored] = '9';
    EXPECT_EQ(ReadPart(bytes, "stored.xml").fault, PackageFault::Damaged);
    // A byte changed in the deflated data: a broken stream or a wrong CRC.
    const size_t deflated = bytes.find("deflated.xml") + 12 + 200;
    bytes[deflated] = static_cast<char>(bytes[deflated] ^ 0x55);
    EXPECT_EQ(ReadPart(bytes, "deflated.xml").fault, PackageFault::Damaged);
}

TEST_F(ZipPackageTest, ABombIsRefusedBeforeItInflatesAndALieAsSoonAsItShows) {
    const std::string zeros(24u << 20, '\0');
    ZipBuilder zip;
    zip.Add("xl/worksheets/sheet1.xml", zeros);
    const std::string honest = zip.Build();
    ASSERT_LT(honest.size(), 200000u);
    EXPECT_EQ(ReadPart(honest, "xl/worksheets/sheet1.xml").fault, PackageFault::Ratio);
    PackageLimits small;
    small.maxPartBytes = 1 << 20;
    EXPECT_EQ(ReadPart(honest, "xl/worksheets/sheet1.xml", 4096, small).fault,
              PackageFault::TooLarge);
    // One that declares a small size is stopped just past it.
    zip.entries.back().declaredSize = 1000;
    EXPECT_EQ(ReadPart(zip.Build(), "xl/worksheets/sheet1.xml").fault, PackageFault::Damaged);
}

TEST_F(ZipPackageTest, OffsetsOutsideTheBytesAreDamageNotReads) {
    ZipBuilder zip;
    zip.Add("a.xml", Repeated(1000));
    std::string bytes = zip.Build();
    const size_t directory = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(directory, std::string::npos);
    std::string distant = bytes;
    distant[directory + 45] = '\x7F'; // the local header's offset, beyond the directory
    EXPECT_EQ(OpenFault(distant), PackageFault::Damaged);
    std::string sized = bytes;
    sized[directory + 20 + 3] = '\x10'; // a compressed size running into the directory
    EXPECT_EQ(ReadPart(sized, "a.xml").fault, PackageFault::Damaged);
    std::string count = bytes;
    count[bytes.size() - 22 + 8] = 3; // more entries than the directory holds
    count[bytes.size() - 22 + 10] = 3;
    EXPECT_EQ(OpenFault(count), PackageFault::Damaged);
}

} // namespace
