#pragma once
// The line layout of the log file:
//   "12-07-08 14:05:09, PM [1234] INFO main <context> - message\r\n"
// Local time, kernel thread id, level name, category, nested context, the
// message as given, and a CR LF line end.
#include <log4cpp/Layout.hh>

#include <string>

class TTCLayout : public log4cpp::Layout {
  public:
    std::string format(const log4cpp::LoggingEvent& event) override;

    // "%m-%d-%y %H:%M:%S, %p" of a time in local time; the AM/PM designator
    // is always the English one, whatever the process locale is.
    static std::string FormatTime(long seconds);
};
