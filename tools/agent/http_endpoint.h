// SPDX-License-Identifier: MIT
// http_endpoint.h
//
// The agent's HTTP side (cpp-httplib): GET /metrics (Prometheus' text
// format) and GET /data.json, answered from the poller's last snapshot, so a
// scrape never sends a device request. Anything else gets a plain answer:
// 404 for another path, 405 (with Allow) for another method, 400 for a
// request that cannot be read, 431 for headers past their limit. Slow and
// idle clients are timed out, and at most a fixed number of connections are
// served or wait at once; more wait in the kernel's queue.
#pragma once

#include "tools/agent/poller.h"

#include <functional>
#include <memory>
#include <string>

namespace agent {

class HttpEndpoint {
  public:
    using Source = std::function<Snapshot()>;

    explicit HttpEndpoint(Source source);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address (port 0: one the system picks) and serves on a
    // thread of its own; returns the port. Throws std::runtime_error naming
    // the address when it cannot be bound.
    int start(const std::string& host, int port);
    void stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace agent
