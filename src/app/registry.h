#pragma once
// Registry accessor over the hive file. Key paths are composed as
// "Software\<application name>\<path>" unless absolute paths are asked for.
// Writes are kept until the key is closed (or another one opened) and then
// saved to the hive in one atomic step.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hive.h"

class CARRegistry {
  public:
    CARRegistry() = default;
    virtual ~CARRegistry();
    CARRegistry(const CARRegistry&) = delete;
    CARRegistry& operator=(const CARRegistry&) = delete;

    virtual bool CreateKey(const std::wstring& path);
    virtual bool OpenKey(const std::wstring& path);
    virtual void CloseKey();
    virtual bool WriteString(const std::wstring& name, const std::wstring& text);
    virtual bool WriteInt(const std::wstring& name, int32_t value);
    virtual bool WriteDword(const std::wstring& name, uint32_t value);
    virtual bool ReadString(const std::wstring& name, std::wstring& out, const std::wstring& def);
    virtual bool ReadInt(const std::wstring& name, int32_t& out, int32_t def);
    virtual bool ReadDword(const std::wstring& name, uint32_t& out, uint32_t def);

    // Result of the last call: 0 on success, else a system error number.
    uint32_t lastError = 0;
    uint32_t lastType = 0;
    uint32_t lastSize = 0;
    bool machineWide = false;
    bool readOnly = false;
    bool absolutePaths = false;

    const std::wstring& KeyPath() const { return keyPath_; }
    bool IsKeyOpen() const { return keyOpen_; }

    // Root of composed paths: "Software\Clipvane\".
    static std::wstring Prefix();

  private:
    platform::Hive& Root() const;
    bool Flush();
    bool PlainRead(const std::wstring& name, platform::RegValue& out);
    bool QueueWrite(platform::RegValue v, bool setResult);

    std::wstring keyPath_;   // as given
    std::wstring fullPath_;  // composed
    bool keyOpen_ = false;
    std::vector<platform::HiveChange> pending_;
};

// Creates the accessor on first use and closes it when destroyed.
class CARRegistryHolder {
  public:
    CARRegistryHolder(bool readOnly, bool machineWide)
        : readOnly_(readOnly), machineWide_(machineWide) {}
    ~CARRegistryHolder();
    CARRegistry& Get();

  private:
    bool readOnly_, machineWide_;
    std::unique_ptr<CARRegistry> reg_;
};
