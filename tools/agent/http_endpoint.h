// SPDX-License-Identifier: MIT
// http_endpoint.h
//
// The agent's HTTP side (Boost.Beast on Boost.Asio): GET /metrics
// (Prometheus' text format) and GET /data.json, answered from the poller's
// last snapshot, so a scrape never sends a device request. Anything else
// gets a plain answer: 404 for another path, 405 (with Allow) for another
// method, 400 for a request that cannot be read, 431 for headers past their
// limit. Slow and idle clients are timed out, and at most a fixed number of
// connections are open at once; more wait in the kernel's listen queue.
#pragma once

#include "tools/agent/poller.h"

#include <functional>
#include <memory>
#include <string>

namespace boost::asio {
class io_context;
}

namespace agent {

class HttpEndpoint {
  public:
    using Source = std::function<Snapshot()>;

    // Serves on io, the agent's one thread of work: every handler runs
    // where io runs, so source is called there and nowhere else.
    HttpEndpoint(boost::asio::io_context& io, Source source);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address (port 0: one the system picks) and accepts from
    // then on, as io runs; returns the port. Throws std::runtime_error
    // naming the address when it cannot be bound.
    int start(const std::string& host, int port);

    // The acceptor and what its connections share (http_endpoint.cpp).
    struct State;

  private:
    std::shared_ptr<State> state_;
};

} // namespace agent
