#pragma once
// The temporary file of a download (final path + ".cvt"): locked while a run
// writes it, so that one left by a killed run can be told from a live one,
// and kept with a record beside it (final path + ".cvr") when the server lets
// the rest be fetched later without ever joining two different files.
#include <cstdint>
#include <map>
#include <string>

struct PartialRecord {
    std::wstring pageAddress, mediaAddress;
    // A strong ETag as sent (quotes included), else a Last-Modified date.
    std::string validator;
    uint64_t length = 0;   // bytes of the whole file on the server
    uint64_t written = 0;  // bytes of it in the temporary file
    // A segmented stream: digest of its playlist and the segments written.
    std::string playlistDigest;
    uint64_t segmentsDone = 0;
};

std::wstring PartialRecordPath(const std::wstring& tempPath);
// Written to a temporary name and renamed over the record, so a kill never
// leaves half a record.
bool WritePartialRecord(const std::wstring& tempPath, const PartialRecord& record);
// False when there is none or it cannot be read as a whole record.
bool ReadPartialRecord(const std::wstring& tempPath, PartialRecord& record);

// Tries to take the advisory lock of an open temporary file without waiting.
bool TryLockTempFile(int fd);
// Keeps `fd` (locked) open as this process's hold on `tempPath` until it is
// released; a later hold of the same path replaces it.
void HoldTempLock(const std::wstring& tempPath, int fd);
void ReleaseTempLock(const std::wstring& tempPath);
bool HoldsTempLock(const std::wstring& tempPath);

// Makes an open temporary file `size` bytes long, with its offset there; a
// file of that length is left alone (ext4 writes a file out at its close
// once it has been emptied, even an empty one: seconds for a large video).
// False with errno set when it cannot.
bool SetTempFileSize(int fd, uint64_t size);

// Removes a temporary file and its record, then lets go of its lock.
void DiscardTempFile(const std::wstring& tempPath);
// After a failed or stopped download: the temporary file and its record stay
// (the lock is let go) when the record allows fetching the rest, else both go.
// True when they stay.
bool SetTempFileAside(const std::wstring& tempPath);
// Removes a kept partial download when nobody is writing it (a task removed
// by the user); false when a run holds it.
bool RemovePartialDownload(const std::wstring& tempPath);

// Kept partial downloads in an output folder and its site folders: the
// temporary file by the page address of its record. A later start of the
// program finds there what its restored rows had kept.
std::map<std::wstring, std::wstring> FindKeptPartials(const std::wstring& outputFolder);
