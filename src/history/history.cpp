#include "history/history.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "app/folders.h"
#include "app/localization.h"
#include "app/logging.h"
#include "download/site_helpers.h"
#include "media/cmd_mplayer.h"
#include "media/command_line.h"
#include "platform/text.h"

const char* const kHistoryCreateSql =
    "CREATE TABLE history(id INTEGER PRIMARY KEY, profile_name TEXT,src_file_name TEXT, "
    "dest_file_name TEXT, duration INTEGER, vcodec TEXT, vbitrate TEXT, fps NUMERIC, vsize "
    "TEXT, acodec TEXT, abitrate TEXT, asamplerate TEXT, achannel TEXT, noaudio BOOLEAN, "
    "convert_date TEXT );";

namespace {
const char* kTag = "History";

// Texts go in and out as UTF-8; bytes of a file name that are not UTF-8
// are kept as they are, so a path round-trips exactly.
std::string Db8(const std::wstring& w) {
    return media::WideToBytes(w);
}
std::wstring FromDb8(const std::string& s) {
    return media::BytesToWide(s);
}

std::string Mprintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    char* s = sqlite3_vmprintf(fmt, ap);
    va_end(ap);
    std::string out = s ? s : "";
    sqlite3_free(s);
    return out;
}

std::string DateText(std::time_t now) {
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    std::tm tm{};
    localtime_r(&now, &tm);
    return platform::Format("%s %02d, %04d %02d:%02d:%02d", kMonths[tm.tm_mon], tm.tm_mday,
                            tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
}
}  // namespace

const wchar_t* SiteWord(int siteKind) {
    static const wchar_t* const kWords[] = {L"YOUTUBE", L"GOOGLE", L"METACAFE", L"NICOVIDEO"};
    return siteKind >= 0 && siteKind <= 3 ? kWords[siteKind] : nullptr;
}

std::wstring ProfileName(int siteKind, const std::wstring& pageAddress) {
    if (const wchar_t* word = SiteWord(siteKind)) return word;
    return siteKind == kSiteOther ? HostProfileName(pageAddress) : std::wstring();
}

std::wstring HistoryPath() {
    return platform::FormatW(L"%ls/%ls", GetDataFolder().c_str(), L"history.db");
}

std::wstring HistoryProblem::Message() const {
    unsigned id = 0;
    const wchar_t* english = L"";
    switch (kind) {
        case kNone:
            return L"";
        case kReplaced:
            id = 33009;
            english =
                L"The download history was damaged. It was moved aside to %ls and a new "
                L"history was started.";
            break;
        case kCannotSave:
            id = 33008;
            english =
                L"The download history cannot be saved (%ls). Downloads go on, but they are "
                L"not recorded in the history.";
            break;
    }
    std::wstring fmt = LoadText(id);
    return platform::FormatW(fmt.empty() ? english : fmt.c_str(), detail.c_str());
}

namespace {

std::mutex g_problemMutex;
HistoryProblem g_problem;
bool g_problemTold = false;

// Keeps the first problem of the run for TakeHistoryProblem.
void NoteProblem(HistoryProblem::Kind kind, const std::wstring& detail) {
    std::lock_guard lock(g_problemMutex);
    if (g_problemTold || g_problem.kind != HistoryProblem::kNone) return;
    g_problem.kind = kind;
    g_problem.detail = detail;
}

// SQLite's words for why a file cannot be used, without the code names.
std::wstring Reason(const CppSQLite3Exception& e) {
    std::string text = e.errorMessage();
    size_t colon = text.find("]: ");
    return FromDb8(colon == std::string::npos ? text : text.substr(colon + 3));
}

bool IsDamage(int code) {
    return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB;
}

// Opens the file and makes sure it has the table; throws what SQLite says.
void OpenAndPrepare(CHistoryDb& db, const std::wstring& file) {
    db.open(Db8(file));
    db.setBusyTimeout(db.busyTimeoutMs());
    if (db.execScalar(Mprintf("select count(*) from sqlite_master where type='table' and "
                              "name='%s'",
                              kHistoryTable)) <= 0) {
        LogInfo(kTag, "Creating %s table", kHistoryTable);
        db.execDML(kHistoryCreateSql);
    }
}

// Moves a damaged database and the journals that belong to it aside.
bool MoveAside(const std::wstring& file, std::wstring& movedTo) {
    const std::string from = Db8(file);
    movedTo = file + L".damaged";
    if (std::rename(from.c_str(), Db8(movedTo).c_str()) != 0) return false;
    for (const char* side : {"-journal", "-wal", "-shm"}) {
        std::string s = from + side;
        std::rename(s.c_str(), (Db8(movedTo) + side).c_str());
    }
    return true;
}

}  // namespace

HistoryProblem TakeHistoryProblem() {
    std::lock_guard lock(g_problemMutex);
    if (g_problemTold || g_problem.kind == HistoryProblem::kNone) return {};
    g_problemTold = true;
    return g_problem;
}

int OpenHistory(CHistoryDb*& out, const std::wstring& path) {
    out = nullptr;
    auto db = std::make_unique<CHistoryDb>();
    std::wstring file = path.empty() ? HistoryPath() : path;
    LogInfo(kTag, "SQLite Version: %s", "3.5.1");
    LogInfo(kTag, "SQLite library version: %s", sqlite3_libversion());
    try {
        OpenAndPrepare(*db, file);
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured: %d : %s", e.errorCode(), e.errorMessage());
        db->close();
        std::wstring movedTo;
        if (!IsDamage(e.errorCode()) || !MoveAside(file, movedTo)) {
            NoteProblem(HistoryProblem::kCannotSave, Reason(e));
            return 0;
        }
        // Later runs record again: the damaged file stays for the user to look at.
        LogErrorW(kTag, L"The damaged history was moved to %ls", movedTo.c_str());
        try {
            OpenAndPrepare(*db, file);
        } catch (const CppSQLite3Exception& again) {
            LogError(kTag, "DB error occured: %d : %s", again.errorCode(), again.errorMessage());
            NoteProblem(HistoryProblem::kCannotSave, Reason(again));
            return 0;
        }
        NoteProblem(HistoryProblem::kReplaced, movedTo);
    }
    if (db->readOnly()) {
        LogErrorW(kTag, L"%ls can only be read", file.c_str());
        NoteProblem(HistoryProblem::kCannotSave, platform::FromUtf8(std::strerror(EROFS)));
    }
    // The site counts read one site's rows; without an index they read all.
    try {
        db->execDML("CREATE INDEX IF NOT EXISTS history_profile ON history(profile_name);");
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured: %d : %s", e.errorCode(), e.errorMessage());
    }
    out = db.release();
    return 1;
}

int AddHistoryRow(CHistoryDb* db, const Task& t) {
    std::time_t now = std::time(nullptr);
    const std::wstring site = ProfileName(t.siteKind, t.originAddress);
    if (!db) return 1;
    std::string size = platform::Format("%dx%d", t.width, t.height);
    std::string vbr = platform::Format("%.0f", t.videoBitrate);
    std::string fps = platform::Format("%.2f", t.fps);
    std::string date = DateText(now);
    std::string sql = Mprintf(
        "INSERT INTO history VALUES (NULL, %Q, %Q, %Q, '%ld', %Q, %Q, %Q, %Q, %Q, '%ld', '%ld', "
        "'%ld', '%ld', %Q);",
        Db8(site).c_str(), Db8(t.originAddress).c_str(), Db8(t.source).c_str(),
        static_cast<long>(t.cutEndMs - t.cutStartMs), Db8(t.videoFormat).c_str(), vbr.c_str(),
        fps.c_str(), size.c_str(), Db8(t.audioFormat).c_str(), static_cast<long>(t.audioBitrate),
        static_cast<long>(t.audioRate), static_cast<long>(t.audioChannels),
        static_cast<long>(t.hasAudio), date.c_str());
    try {
        db->execDML(sql);
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured when inserting : %d : %s", e.errorCode(),
                 e.errorMessage());
        NoteProblem(HistoryProblem::kCannotSave, Reason(e));
        return 0;
    }
    return 1;
}

int DeleteHistoryRow(CHistoryDb* db, const Task& t) {
    if (!db) return 1;
    try {
        db->execDML(
            Mprintf("DELETE FROM history WHERE dest_file_name = %Q;", Db8(t.source).c_str()));
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured when deleting : %d : %s", e.errorCode(), e.errorMessage());
        return 0;
    }
    return 1;
}

int LoadHistory(CHistoryDb* db, const wchar_t* site, std::vector<std::unique_ptr<Task>>& list) {
    if (!site || !db) return 0;
    try {
        CppSQLite3Query q = db->execQuery(Mprintf(
            "SELECT src_file_name, dest_file_name, duration, vcodec, vsize, convert_date FROM %s "
            "WHERE profile_name = %Q;",
            kHistoryTable, Db8(site).c_str()));
        while (!q.eof()) {
            auto t = std::make_unique<Task>();
            t->source = FromDb8(q.getStringField(1));
            t->durationMs = t->cutEndMs = q.getIntField(2, 0);
            t->cutStartMs = 0;
            t->historyPageAddress = FromDb8(q.getStringField(0));
            t->videoFormat = FromDb8(q.getStringField(3));
            t->historySizeText = FromDb8(q.getStringField(4));
            t->historyDateText = FromDb8(q.getStringField(5));
            list.push_back(std::move(t));
            q.nextRow();
        }
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured: %d : %s", e.errorCode(), e.errorMessage());
        return 0;
    }
    return 1;
}

int CountHistory(CHistoryDb* db, const wchar_t* site) {
    if (!db) return 0;
    try {
        if (!site) return db->execScalar("SELECT COUNT(*) FROM history;");
        return db->execScalar(Mprintf("SELECT COUNT(*) FROM %s WHERE profile_name = %Q;",
                                      kHistoryTable, Db8(site).c_str()));
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured: %d : %s", e.errorCode(), e.errorMessage());
        return -1;
    }
}

std::vector<std::pair<std::wstring, int>> CountHistoryHosts(CHistoryDb* db) {
    std::vector<std::pair<std::wstring, int>> out;
    if (!db) return out;
    try {
        CppSQLite3Query q = db->execQuery(
            "SELECT profile_name, COUNT(*) FROM history WHERE profile_name NOT IN "
            "('', 'YOUTUBE', 'GOOGLE', 'METACAFE', 'NICOVIDEO') GROUP BY profile_name "
            "ORDER BY profile_name;");
        while (!q.eof()) {
            out.emplace_back(FromDb8(q.getStringField(0)), q.getIntField(1, 0));
            q.nextRow();
        }
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured: %d : %s", e.errorCode(), e.errorMessage());
    }
    return out;
}

std::vector<std::wstring> LoadHistoryPageAddresses(CHistoryDb* db) {
    std::vector<std::wstring> out;
    if (!db) return out;
    try {
        CppSQLite3Query q =
            db->execQuery(Mprintf("SELECT src_file_name FROM %s ORDER BY id;", kHistoryTable));
        for (; !q.eof(); q.nextRow()) out.push_back(FromDb8(q.getStringField(0)));
    } catch (const CppSQLite3Exception& e) {
        LogError(kTag, "DB error occured: %d : %s", e.errorCode(), e.errorMessage());
        out.clear();
    }
    return out;
}

RecordResult RecordProbedDownload(CHistoryDb* db, Task& task, const std::wstring& file,
                                  int siteKind, const std::wstring& pageAddress) {
    task.source = file;
    task.originAddress = pageAddress;
    task.siteKind = siteKind;
    if (ProfileName(siteKind, pageAddress).empty()) return RecordResult::kNoSite;
    return AddHistoryRow(db, task) ? RecordResult::kRecorded : RecordResult::kNotSaved;
}

RecordResult RecordDownload(CHistoryDb* db, const std::wstring& file, int siteKind,
                            const std::wstring& pageAddress, Task* probed) {
    if (ProfileName(siteKind, pageAddress).empty()) return RecordResult::kNoSite;
    Task t;
    if (!ProbeMediaFile(file, t)) return RecordResult::kNotPlayable;
    RecordResult r = RecordProbedDownload(db, t, file, siteKind, pageAddress);
    if (probed) *probed = t;
    return r;
}
