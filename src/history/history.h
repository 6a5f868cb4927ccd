#pragma once
// The download history per site in "history.db" in the data folder. A null
// database stands for one that could not be opened.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "history/history_db.h"
#include "media/task.h"

inline constexpr const char* kHistoryTable = "history";
extern const char* const kHistoryCreateSql;

// The site word of a site kind 0..3 ("YOUTUBE", "GOOGLE", "METACAFE",
// "NICOVIDEO"); null for any other kind.
const wchar_t* SiteWord(int siteKind);
// The profile_name of a download: the site word for kinds 0..3, the host
// (HostProfileName) for another site; empty for any other kind.
std::wstring ProfileName(int siteKind, const std::wstring& pageAddress);
std::wstring HistoryPath();

// 1 and the database in `db`, or 0 and null. `path` empty: HistoryPath().
int OpenHistory(CHistoryDb*& db, const std::wstring& path = L"");
int AddHistoryRow(CHistoryDb* db, const Task& task);
int DeleteHistoryRow(CHistoryDb* db, const Task& task);
int LoadHistory(CHistoryDb* db, const wchar_t* site, std::vector<std::unique_ptr<Task>>& list);
int CountHistory(CHistoryDb* db, const wchar_t* site);
// The profiles of other sites (hosts) that have rows, by name, with their
// counts; empty without a database or on a database error.
std::vector<std::pair<std::wstring, int>> CountHistoryHosts(CHistoryDb* db);

// A finished download: probes the file into a task, takes the site kind and
// page address, and adds its history row. False (and no row) when the probe
// refuses the file or the kind has no profile.
bool RecordDownload(CHistoryDb* db, const std::wstring& file, int siteKind,
                    const std::wstring& pageAddress, Task* probed = nullptr);
// The same for a file already probed into `task` (the window probes off its
// own thread): takes the file, kind and page address into the task and adds
// the row. False (and no row) when the kind has no profile.
bool RecordProbedDownload(CHistoryDb* db, Task& task, const std::wstring& file, int siteKind,
                          const std::wstring& pageAddress);
