#include "app/ttc_layout.h"

#include <unistd.h>
#include <log4cpp/LoggingEvent.hh>
#include <log4cpp/Priority.hh>

#include <cstdio>
#include <ctime>

std::string TTCLayout::FormatTime(long seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return "00-00-00 00:00:00, AM";
    char buf[128];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d %02d:%02d:%02d, %s", tm.tm_mon + 1, tm.tm_mday,
                  (tm.tm_year % 100 + 100) % 100, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  tm.tm_hour < 12 ? "AM" : "PM");
    return buf;
}

std::string TTCLayout::format(const log4cpp::LoggingEvent& event) {
    // The file appender writes on the thread that logs, so this is the id
    // of the calling thread. log4cpp's own threadName holds pthread_self().
    char tid[24];
    std::snprintf(tid, sizeof tid, "%lu", static_cast<unsigned long>(::gettid()));

    std::string line = FormatTime(event.timeStamp.getSeconds());
    line.reserve(line.size() + event.categoryName.size() + event.ndc.size() + event.message.size() +
                 48);
    line += " [";
    line += tid;
    line += "] ";
    line += log4cpp::Priority::getPriorityName(event.priority);
    line += ' ';
    line += event.categoryName;
    line += " <";
    line += event.ndc;
    line += "> - ";
    line += event.message;
    line += "\r\n";
    return line;
}
