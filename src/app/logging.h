#pragma once
// The log facade over log4cpp. Every call names a tag (category); a null
// tag is "main". Messages are cut to 1,023 characters and written as they
// are, so a '%' in a finished message stays.
#include <string>

void InitLogging(const std::string& path);
void ShutdownLogging();

// The one log file, "vuzeziv.log" in the data folder, and its size limit.
inline constexpr size_t kMaxLogSize = 1048576;
std::wstring LogFilePath();
// Starts logging into the log file; a file past the limit starts afresh.
void StartLogFile();

void LogInfo(const char* tag, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void LogError(const char* tag, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void LogInfoW(const char* tag, const wchar_t* fmt, ...);
void LogWarnW(const char* tag, const wchar_t* fmt, ...);
void LogErrorW(const char* tag, const wchar_t* fmt, ...);

void LogPushContext(const std::string& text);
void LogPopContext();

// Pushes a context for the lifetime of a scope.
class LogContextScope {
  public:
    explicit LogContextScope(const std::string& text) { LogPushContext(text); }
    ~LogContextScope() { LogPopContext(); }
    LogContextScope(const LogContextScope&) = delete;
    LogContextScope& operator=(const LogContextScope&) = delete;
};
