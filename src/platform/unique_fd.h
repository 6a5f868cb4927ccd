#pragma once
// The one owner of a file descriptor: closes it exactly once, when reset or
// destroyed; moving hands the descriptor over.
namespace platform {

class UniqueFd {
  public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd < 0 ? -1 : fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int Release() noexcept {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and takes `fd` instead.
    void Reset(int fd = -1) noexcept;
    // Closes the descriptor held; false when close reported an error (the
    // descriptor is gone either way). True when none was held.
    bool Close() noexcept;

  private:
    int fd_ = -1;
};

// A pipe whose two ends are close-on-exec; 0 or the errno of the failure.
int MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd, int extraFlags = 0);

}  // namespace platform
