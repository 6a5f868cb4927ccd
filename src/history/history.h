#pragma once
// The download history per site in "history.db" in the data folder. A null
// database stands for one that could not be opened.
#include <memory>
#include <string>
#include <vector>

#include "history/history_db.h"
#include "media/task.h"

inline constexpr const char* kHistoryTable = "history";
extern const char* const kHistoryCreateSql;

// The site word of a site kind 0..3 ("YOUTUBE", "GOOGLE", "METACAFE",
// "NICOVIDEO"); null for any other kind.
const wchar_t* SiteWord(int siteKind);
std::wstring HistoryPath();

// 1 and the database in `db`, or 0 and null. `path` empty: HistoryPath().
int OpenHistory(CHistoryDb*& db, const std::wstring& path = L"");
int AddHistoryRow(CHistoryDb* db, const Task& task);
int DeleteHistoryRow(CHistoryDb* db, const Task& task);
int LoadHistory(CHistoryDb* db, const wchar_t* site, std::vector<std::unique_ptr<Task>>& list);
int CountHistory(CHistoryDb* db, const wchar_t* site);

// A finished download: probes the file into a task, takes the site kind and
// page address, and adds its history row. False (and no row) when the probe
// refuses the file or the kind is not 0..3.
bool RecordDownload(CHistoryDb* db, const std::wstring& file, int siteKind,
                    const std::wstring& pageAddress, Task* probed = nullptr);
// The same for a file already probed into `task` (the window probes off its
// own thread): takes the file, kind and page address into the task and adds
// the row. False (and no row) when the kind is not 0..3.
bool RecordProbedDownload(CHistoryDb* db, Task& task, const std::wstring& file, int siteKind,
                          const std::wstring& pageAddress);
