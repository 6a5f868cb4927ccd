#pragma once
// Option sets: the command line of the player as a program prefix, an
// ordered list of options and an input file.
#include <list>
#include <string>

class CCmdOpts {
  public:
    struct Option {
        std::wstring name;
        std::wstring value;
    };
    CCmdOpts() = default;
    virtual ~CCmdOpts() = default;

    virtual void SetInputFile(const std::wstring& path);
    virtual void SetFlag(const std::wstring& name);
    virtual void SetOption(const std::wstring& name, const wchar_t* fmt, ...);
    virtual void AppendOption(const std::wstring& name, const std::wstring& separator,
                              const wchar_t* fmt, ...);
    virtual void RemoveOption(const std::wstring& name);
    virtual void ClearOptions();
    // Valid until the next call or the set's destruction.
    virtual const wchar_t* GetCommandLine();

    const std::list<Option>& options() const { return options_; }

  protected:
    void SetValue(const std::wstring& name, const std::wstring& value);
    std::list<Option> options_;
    std::wstring programPrefix_;
    std::wstring commandLine_;
    std::wstring inputFile_;
};

// The player: the program folder's "mplayer" link, else mplayer on PATH.
class CMPlayerOpts : public CCmdOpts {
  public:
    CMPlayerOpts();
    // Runs another program in the player's place.
    void SetProgram(const std::wstring& path);
};

// Full path of the player program, or "mplayer" (found on PATH at start).
std::wstring PlayerProgramPath();
