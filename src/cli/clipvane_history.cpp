// Lists the download history in the data folder: the rows of one site or
// host (or of every one) and the count of each.
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/helpers.h"
#include "history/history.h"
#include "media/command_line.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    CHistoryDb* raw = nullptr;
    if (!OpenHistory(raw)) {
        std::fprintf(stderr, "cannot open %s\n", platform::ToUtf8(HistoryPath()).c_str());
        return 1;
    }
    std::unique_ptr<CHistoryDb> db(raw);
    std::wstring only = argc > 1 ? platform::AsciiLower(media::BytesToWide(argv[1])) : L"";
    // The four sites, then the hosts of other sites that have rows.
    std::vector<std::pair<std::wstring, int>> profiles;
    for (int k = 0; k < 4; ++k)
        profiles.emplace_back(SiteWord(k), CountHistory(db.get(), SiteWord(k)));
    for (auto& host : CountHistoryHosts(db.get())) profiles.push_back(std::move(host));
    for (const auto& [word, count] : profiles) {
        if (!only.empty() && platform::AsciiLower(word) != only) continue;
        std::vector<std::unique_ptr<Task>> rows;
        LoadHistory(db.get(), word.c_str(), rows);
        for (const auto& t : rows)
            std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\n", platform::ToUtf8(word).c_str(),
                        media::WideToBytes(t->source).c_str(),
                        platform::ToUtf8(FormatDuration(t->durationMs)).c_str(),
                        platform::ToUtf8(t->videoFormat).c_str(),
                        platform::ToUtf8(t->historySizeText).c_str(),
                        platform::ToUtf8(t->historyDateText).c_str(),
                        platform::ToUtf8(t->historyPageAddress).c_str());
    }
    for (const auto& [word, count] : profiles) {
        if (!only.empty() && platform::AsciiLower(word) != only) continue;
        std::printf("%s (%d)\n", platform::ToUtf8(word).c_str(), count);
    }
    std::printf("total (%d)\n", CountHistory(db.get(), nullptr));
    return 0;
}
