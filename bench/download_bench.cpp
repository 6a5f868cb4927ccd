// Downloads one video through the transport into a file and prints
// "<seconds> <peak RSS growth in KiB> <progress messages>".
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "download/http_transfer.h"
#include "platform/text.h"

namespace {

long PeakRssKiB() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

class Owner : public IHttpOwner {
  public:
    bool IsAborted() override { return false; }
    bool StopRequested() const override { return false; }
    void PostProgress(unsigned) override { ++posts; }
    void SetError(const std::wstring& t) override { std::fprintf(stderr, "%ls\n", t.c_str()); }
    void ClearFinalPath() override {}
    long posts = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_bench URL FILE\n");
        return 2;
    }
    Owner owner;
    CHttpTransfer http(&owner, false);
    std::atomic<uint64_t> length{0}, received{0};
    std::wstring finalUrl;
    long idle = PeakRssKiB();
    auto t0 = std::chrono::steady_clock::now();
    int r = http.GetFLVFile(platform::FromUtf8(argv[1]), platform::FromUtf8(argv[2]), finalUrl,
                            length, received);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r != 0) return 1;
    std::printf("%.4f %ld %ld\n", s, PeakRssKiB() - idle, owner.posts);
    return 0;
}
