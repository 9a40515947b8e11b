// Writes ZIP packages byte by byte, so that tests and fuzz seeds can make
// both the packages spreadsheet programs write and the ones they never
// would: every field of every record can be set by hand afterwards.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct ZipBuilderEntry {
    std::string name;
    std::string data;
    bool deflate = true;
    uint16_t flags = 0;
    uint16_t method = 0xFFFF;  // 0xFFFF: 0 or 8 as deflate says
    int64_t declaredSize = -1; // -1: the real size
};

class ZipBuilder {
public:
    void Add(const std::string& name, const std::string& data, bool deflate = true) {
        ZipBuilderEntry e;
        e.name = name;
        e.data = data;
        e.deflate = deflate;
        entries.push_back(e);
    }
    std::vector<ZipBuilderEntry> entries;
    std::string comment;

    static std::string Deflate(const std::string& data) {
        z_stream s{};
        deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&s, static_cast<uLong>(data.size())) + 16, '\0');
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        s.avail_in = static_cast<uInt>(data.size());
        s.next_out = reinterpret_cast<Bytef*>(&out[0]);
        s.avail_out = static_cast<uInt>(out.size());
        deflate(&s, Z_FINISH);
        out.resize(s.total_out);
        deflateEnd(&s);
        return out;
    }

    std::string Build() const {
        std::string out, directory;
        for (const ZipBuilderEntry& e : entries) {
            const std::string body = e.deflate ? Deflate(e.data) : e.data;
            const uint16_t method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
            const uint32_t crc =
                static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                            static_cast<uInt>(e.data.size())));
            const uint32_t size =
                static_cast<uint32_t>(e.declaredSize >= 0 ? e.declaredSize : e.data.size());
            const uint32_t offset = static_cast<uint32_t>(out.size());
            Put32(out, 0x04034b50);
            Put16(out, 20);
            Put16(out, e.flags);
            Put16(out, method);
            Put32(out, 0); // time, date
            Put32(out, crc);
            Put32(out, static_cast<uint32_t>(body.size()));
            Put32(out, size);
            Put16(out, static_cast<uint16_t>(e.name.size()));
            Put16(out, 0);
            out += e.name;
            out += body;
            Put32(directory, 0x02014b50);
            Put16(directory, 20);
            Put16(directory, 20);
            Put16(directory, e.flags);
            Put16(directory, method);
            Put32(directory, 0);
            Put32(directory, crc);
            Put32(directory, static_cast<uint32_t>(body.size()));
            Put32(directory, size);
            Put16(directory, static_cast<uint16_t>(e.name.size()));
            Put16(directory, 0); // extra
            Put16(directory, 0); // comment
            Put16(directory, 0); // disk
            Put16(directory, 0); // internal attributes
            Put32(directory, 0); // external attributes
            Put32(directory, offset);
            directory += e.name;
        }
        const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
        out += directory;
        Put32(out, 0x06054b50);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, static_cast<uint16_t>(entries.size()));
        Put16(out, static_cast<uint16_t>(entries.size()));
        Put32(out, static_cast<uint32_t>(directory.size()));
        Put32(out, directoryOffset);
        Put16(out, static_cast<uint16_t>(comment.size()));
        out += comment;
        return out;
    }

    static void Put16(std::string& out, uint16_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8));
    }
    static void Put32(std::string& out, uint32_t v) {
        Put16(out, static_cast<uint16_t>(v & 0xFFFF));
        Put16(out, static_cast<uint16_t>(v >> 16));
    }
};
