#pragma once
// Starts the stand-in sites (tests/fakesites/fakesites.py) on a free port of
// loopback for one test and reads back the requests it recorded.
#include <string>
#include <utility>
#include <vector>

#include "platform/child_process.h"
#include "support/process_harness.h"

namespace testsupport {

struct RecordedRequest {
    std::string method;
    std::string target;  // as sent to the proxy: absolute address
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string Header(const std::string& name) const;  // first one, any case
};

class FakeSites {
  public:
    // `scenario` is the JSON text of the scenario; false when the server did
    // not come up.
    bool Start(const std::string& scenario);
    // Folder of the files that routes serve by name (body_file); set before
    // starting. Empty: the server's working folder.
    std::string filesDir;
    // Starts with a scenario file of tests/fakesites/scenarios.
    bool StartFile(const std::string& name);
    // Starts the demo's sites (tests/fakesites/demo_sites.sh), which first
    // make their videos in the folder that Files() names.
    bool StartDemo();
    std::string Files() const { return dir_.path(); }
    ~FakeSites();

    int port() const { return port_; }
    std::string ProxyUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // The certificate the stand-in's https tunnels present, for CURL_CA_BUNDLE.
    std::string CaBundle() const { return dir_ / "ca.pem"; }
    // Points http_proxy, https_proxy and CURL_CA_BUNDLE of this process at
    // the stand-in.
    void UseAsProxy() const;
    std::vector<RecordedRequest> Requests() const;

  private:
    bool Launch(const std::string& scenarioPath);
    bool Spawn(std::vector<std::string> args, int waitMs);
    TempDir dir_;
    // The server runs until its input closes.
    platform::ChildProcess server_;
    int port_ = 0;
};

}  // namespace testsupport
