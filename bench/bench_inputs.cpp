#include "bench_inputs.h"

#include <cstdio>

bool WriteBenchList(const std::string& hostPath, long records) {
    FILE* f = std::fopen(hostPath.c_str(), "wb");
    if (!f)
        return false;
    std::fputs("First Name,Last Name,E-Mail,Company,Street,City,Phone,Notes\r\n", f);
    static const char* const kFirst[] = {"Ann", "Bo", "Cyrille", "Dagmar", "Esteban", "Fumiko"};
    static const char* const kCity[] = {"Oslo", "Lyon", "Springfield", "Porto", "Graz"};
    for (long i = 0; i < records; ++i) {
        const char* first = kFirst[i % 6];
        // Every fourth company holds a comma and is quoted; every seventh note
        // holds doubled quotes.
        char company[64];
        if (i % 4 == 0)
            std::snprintf(company, sizeof company, "\"Example %ld, Ltd.\"", i % 1000);
        else
            std::snprintf(company, sizeof company, "Example %ld", i % 1000);
        const char* notes = i % 7 == 0 ? "\"said \"\"yes\"\" in May\"" : "no answer yet";
        std::fprintf(f,
                     "%s,Lee%ld,%s.lee%ld@example.com,%s,%ld Harbour Road,%s,+47 555 %07ld,%s\r\n",
                     first, i % 997, first, i, company, i % 300, kCity[i % 5], i, notes);
    }
    return std::fclose(f) == 0;
}

std::vector<std::string> BenchHeader() {
    std::vector<std::string> header = {"First Name", "Last Name", "E-Mail", "Company",
                                       "Street",     "City",      "Phone",  "Notes"};
    for (int i = static_cast<int>(header.size()); i < 40; ++i)
        header.push_back("Custom Field " + std::to_string(i));
    return header;
}

std::vector<std::string> BenchValues(int recipient) {
    std::vector<std::string> values = {"Ann",
                                       "Lee",
                                       "ann.lee" + std::to_string(recipient) + "@example.com",
                                       "Example Ltd.",
                                       "12 Harbour Road",
                                       "Oslo",
                                       "+47 555 0100",
                                       "said yes in May"};
    for (int i = static_cast<int>(values.size()); i < 40; ++i)
        values.push_back("value " + std::to_string(i));
    return values;
}

std::string BenchHtml(size_t bytes, int tokens) {
    const std::vector<std::string> header = BenchHeader();
    std::string html =
        "<!DOCTYPE html><html><head><meta charset=\"windows-1252\"><style>"
        "a[href]{color:#0645ad} td{padding:4px}</style>"
        "<!--[if mso]><style>table{border-collapse:collapse}</style><![endif]--></head><body>\r\n";
    // An embedded image: base64 text in a data URI, most of the message.
    std::string image = "<img alt=\"banner\" src=\"data:image/png;base64,";
    const char* const kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    unsigned seed = 12345;
    const size_t imageBytes = bytes * 4 / 5;
    for (size_t i = 0; i < imageBytes; ++i) {
        seed = seed * 1103515245u + 12345u;
        image += kBase64[(seed >> 16) & 63];
        if (i % 76 == 75)
            image += "\r\n";
    }
    image += "\">\r\n";
    html += "<p>Dear [[First Name]] [[Last Name]],</p>\r\n" + image;
    int placed = 2;
    const size_t paragraph = (bytes - html.size()) / static_cast<size_t>(tokens);
    while (html.size() < bytes) {
        std::string p = "<p>";
        while (p.size() < paragraph)
            p += "We are glad to tell you about the new season of our programme. ";
        if (placed < tokens) {
            // Tokens in the case a user types them.
            std::string name = header[static_cast<size_t>(placed * 7 % 12)];
            if (placed % 3 == 1)
                for (char& c : name)
                    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            p += "[[" + name + "]] ";
            ++placed;
        }
        html += p + "</p>\r\n";
    }
    return html + "</body></html>\r\n";
}
