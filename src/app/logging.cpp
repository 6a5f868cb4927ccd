#include "app/logging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <pthread.h>
#include <unistd.h>
#include <log4cpp/Category.hh>
#include <log4cpp/FileAppender.hh>
#include <log4cpp/NDC.hh>
#include <log4cpp/Priority.hh>

#include <cstdarg>
#include <mutex>

#include "app/folders.h"
#include "platform/text.h"
#include <shared_mutex>

#include "app/ttc_layout.h"
#include "platform/text.h"

namespace {

constexpr size_t kMaxMessage = 1023;

// Held shared by every log call and exclusively by start and stop, so a
// line is never written into an appender that is being torn down. Writers
// are preferred: busy logging threads must not hold off the stop.
class StateLock {
  public:
    StateLock() {
        pthread_rwlockattr_t attr;
        pthread_rwlockattr_init(&attr);
        pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
        pthread_rwlock_init(&lock_, &attr);
        pthread_rwlockattr_destroy(&attr);
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

    void lock() { pthread_rwlock_wrlock(&lock_); }
    void unlock() { pthread_rwlock_unlock(&lock_); }
    void lock_shared() { pthread_rwlock_rdlock(&lock_); }
    void unlock_shared() { pthread_rwlock_unlock(&lock_); }

  private:
    pthread_rwlock_t lock_;
};

StateLock g_stateMutex;
bool g_started = false;

const char* TagOrMain(const char* tag) {
    return tag ? tag : "main";
}

// The caller holds g_stateMutex, shared or exclusive.
void WriteLocked(const char* tag, log4cpp::Priority::Value level, const std::string& message) {
    if (!g_started) return;
    try {
        log4cpp::Category::getInstance(TagOrMain(tag)).log(level, message);
    } catch (...) {
        // Logging never changes the outcome of the caller.
    }
}

// The message is formatted under the lock so that nothing is done once
// logging has stopped.
void WriteV(const char* tag, log4cpp::Priority::Value level, const char* fmt, va_list ap) {
    std::shared_lock lock(g_stateMutex);
    if (!g_started || !fmt) return;
    try {
        WriteLocked(tag, level, platform::FormatV(kMaxMessage, fmt, ap));
    } catch (...) {
    }
}

void WriteWV(const char* tag, log4cpp::Priority::Value level, const wchar_t* fmt, va_list ap) {
    std::shared_lock lock(g_stateMutex);
    if (!g_started || !fmt) return;
    try {
        WriteLocked(tag, level, platform::ToUtf8(platform::FormatWV(kMaxMessage, fmt, ap)));
    } catch (...) {
    }
}

}  // namespace

void InitLogging(const std::string& path) {
    std::unique_lock lock(g_stateMutex);
    try {
        log4cpp::Category& root = log4cpp::Category::getRoot();
        // A second start without a stop replaces the file.
        root.removeAllAppenders();
        g_started = false;

        // Opened here rather than by the appender so that the descriptor is
        // not inherited by the tools we start. The appender owns it.
        int fd = ::open(path.c_str(), O_CREAT | O_APPEND | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return;

        auto* appender = new log4cpp::FileAppender("default", fd);
        appender->setLayout(new TTCLayout);
        root.addAppender(appender);
        root.setPriority(log4cpp::Priority::INFO);
        g_started = true;
    } catch (...) {
        g_started = false;
        return;
    }
    WriteLocked("main", log4cpp::Priority::INFO, std::string(75, '-'));
    WriteLocked("main", log4cpp::Priority::INFO, "Logger initialized.");
}

void ShutdownLogging() {
    std::unique_lock lock(g_stateMutex);
    WriteLocked("main", log4cpp::Priority::INFO, "Logger uninitialized.");
    g_started = false;
    try {
        log4cpp::Category::shutdown();
    } catch (...) {
    }
}

void LogInfo(const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    WriteV(tag, log4cpp::Priority::INFO, fmt, ap);
    va_end(ap);
}

void LogError(const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    WriteV(tag, log4cpp::Priority::ERROR, fmt, ap);
    va_end(ap);
}

void LogInfoW(const char* tag, const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    WriteWV(tag, log4cpp::Priority::INFO, fmt, ap);
    va_end(ap);
}

void LogWarnW(const char* tag, const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    WriteWV(tag, log4cpp::Priority::WARN, fmt, ap);
    va_end(ap);
}

void LogErrorW(const char* tag, const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    WriteWV(tag, log4cpp::Priority::ERROR, fmt, ap);
    va_end(ap);
}

void LogPushContext(const std::string& text) {
    try {
        log4cpp::NDC::push(text);
    } catch (...) {
    }
}

void LogPopContext() {
    // log4cpp pops an empty stack without checking.
    try {
        if (log4cpp::NDC::getDepth() > 0) log4cpp::NDC::pop();
    } catch (...) {
    }
}

std::wstring LogFilePath() {
    return GetDataFolder() + L"/vuzeziv.log";
}

void StartLogFile() {
    std::string path = platform::ToUtf8(LogFilePath());
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > kMaxLogSize)
        ::unlink(path.c_str());
    InitLogging(path);
}
