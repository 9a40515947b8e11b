// The composed message as the client saved it, between two runs of a tool:
// the named string properties the draft carries (the mailing's id among
// them), one "name<TAB>value" line each. A real client keeps them in its
// store with the draft; the simulated client's store keeps the Outbox only,
// so the tools keep them here and reopen the draft with them.
#pragma once

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using DraftStrings = std::vector<std::pair<std::string, std::string>>;

inline DraftStrings ReadSavedDraft(const std::string& path) {
    DraftStrings strings;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos)
            strings.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return strings;
}

// Written beside and put in place, so a process that dies meanwhile leaves
// the last whole one.
inline void SaveDraft(const std::string& path, const DraftStrings& strings) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const auto& [name, value] : strings)
            out << name << '\t' << value << '\n';
        if (!out)
            return;
    }
    std::remove(path.c_str());
    std::rename(temporary.c_str(), path.c_str());
}

// What the client's Config::onDraftSaved is told, kept in `path` as the
// client saves the draft, so that a run that dies still leaves it: written
// only when the strings changed, as the copies a mailing makes of the draft
// stand in Drafts with the same strings a moment before they go.
inline std::function<void(const DraftStrings&)> KeepDraftAt(const std::string& path) {
    auto last = std::make_shared<DraftStrings>();
    return [path, last](const DraftStrings& strings) {
        if (strings == *last)
            return;
        SaveDraft(path, strings);
        *last = strings;
    };
}
