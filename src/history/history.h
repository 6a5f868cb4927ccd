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

// Trouble with the history file that the user is told of, once a run.
struct HistoryProblem {
    enum Kind {
        kNone,
        kReplaced,    // damaged: moved aside (`detail` is where) and a new one made
        kCannotSave,  // cannot be opened or written (`detail` says why)
    } kind = kNone;
    std::wstring detail;
    // The text for the user; empty for kNone.
    std::wstring Message() const;
};

// The first problem of this run not yet told, and kNone from then on: the
// window and clipvane-get ask after opening and after each recorded download.
HistoryProblem TakeHistoryProblem();

// 1 and the database in `db`, or 0 and null. `path` empty: HistoryPath().
// A file SQLite finds damaged is moved aside to "<path>.damaged" and a new one
// made; one it can only read is opened for reading. Either is noted for
// TakeHistoryProblem, as is a file that cannot be opened at all.
int OpenHistory(CHistoryDb*& db, const std::wstring& path = L"");
int AddHistoryRow(CHistoryDb* db, const Task& task);
int DeleteHistoryRow(CHistoryDb* db, const Task& task);
int LoadHistory(CHistoryDb* db, const wchar_t* site, std::vector<std::unique_ptr<Task>>& list);
int CountHistory(CHistoryDb* db, const wchar_t* site);
// The profiles of other sites (hosts) that have rows, by name, with their
// counts; empty without a database or on a database error.
std::vector<std::pair<std::wstring, int>> CountHistoryHosts(CHistoryDb* db);
// The page address of every history row, in row order; empty when no
// database is open or on a database error.
std::vector<std::wstring> LoadHistoryPageAddresses(CHistoryDb* db);

// What became of a finished download's file.
enum class RecordResult {
    kRecorded,     // probed and its history row added (or no history is open)
    kNotPlayable,  // the player's probe cannot read it: no row, the file stays
    kNotSaved,     // probed, but the row could not be written (TakeHistoryProblem)
    kNoSite,       // the kind has no profile: no row
};

// A finished download: probes the file into a task, takes the site kind and
// page address, and adds its history row.
RecordResult RecordDownload(CHistoryDb* db, const std::wstring& file, int siteKind,
                            const std::wstring& pageAddress, Task* probed = nullptr);
// The same for a file already probed into `task` (the window probes off its
// own thread): takes the file, kind and page address into the task and adds
// the row.
RecordResult RecordProbedDownload(CHistoryDb* db, Task& task, const std::wstring& file,
                                  int siteKind, const std::wstring& pageAddress);
