// The package reader over arbitrary bytes: the directory read or refused,
// every part read to its end or refused, nothing read outside the bytes,
// and a part read to its end exactly as long as it says.
#include "data/zip_package.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryPackageBytes bytes(data, size);
    PackageLimits limits;
    limits.maxParts = 64;
    limits.maxPartBytes = 4u << 20; // keeps each execution short
    limits.ratioFloor = 64u << 10;
    ZipPackage package(limits);
    if (!package.Open(&bytes)) {
        if (package.fault() == PackageFault::None)
            std::abort();
        return 0;
    }
    char buffer[4096];
    for (const PackagePart& part : package.parts()) {
        if (package.Find(part.name.c_str()) != &part)
            std::abort(); // names are unique, letter case aside
        PartReader reader;
        if (!reader.Open(package, part))
            continue;
        uint64_t total = 0;
        int got;
        while ((got = reader.Read(buffer, static_cast<int>(sizeof buffer))) > 0)
            total += static_cast<uint64_t>(got);
        if (got == 0 && total != part.size) {
            std::fprintf(stderr, "zip_package_fuzz: %s ended at %llu of %u bytes\n",
                         part.name.c_str(), static_cast<unsigned long long>(total), part.size);
            std::abort();
        }
        if (got < 0 && reader.fault() == PackageFault::None)
            std::abort();
    }
    return 0;
}
