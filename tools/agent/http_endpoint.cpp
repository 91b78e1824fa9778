// SPDX-License-Identifier: MIT
// http_endpoint.cpp
//
// cpp-httplib's server with the agent's routes, limits and timeouts, and a
// task queue that bounds the connections: its workers serve, and a
// connection accepted while all of them are busy and the queue is full
// waits in the accepting thread, so the kernel's listen queue holds the
// rest.
#include "tools/agent/http_endpoint.h"

#include "tools/agent/metrics_text.h"

#include <httplib.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace agent {

namespace {

constexpr size_t kWorkers = 4;        // connections served at once
constexpr size_t kWaiting = 16;       // accepted connections waiting for a worker
constexpr size_t kHeaderBytes = 8192; // all request headers together
constexpr time_t kReadSeconds = 5;    // a request must arrive within this
constexpr time_t kIdleSeconds = 5;    // a kept-alive connection idle this long is closed

class BoundedQueue : public httplib::TaskQueue {
  public:
    BoundedQueue()
    {
        for (size_t i = 0; i < kWorkers; ++i)
            workers_.emplace_back([this] { work(); });
    }

    void enqueue(std::function<void()> job) override
    {
        std::unique_lock guard(lock_);
        room_.wait(guard, [this] { return jobs_.size() < kWaiting || done_; });
        if (done_)
            return job(); // served here: the socket is closed by the job
        jobs_.push_back(std::move(job));
        ready_.notify_one();
    }

    void shutdown() override
    {
        {
            std::lock_guard guard(lock_);
            done_ = true;
        }
        ready_.notify_all();
        room_.notify_all();
        for (auto& worker : workers_)
            worker.join();
    }

  private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock guard(lock_);
                ready_.wait(guard, [this] { return !jobs_.empty() || done_; });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            room_.notify_one();
            job();
        }
    }

    std::mutex lock_;
    std::condition_variable ready_, room_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    bool done_ = false;
};

size_t headerBytes(const httplib::Request& request)
{
    size_t bytes = 0;
    for (const auto& [name, value] : request.headers)
        bytes += name.size() + value.size() + 4;
    return bytes;
}

} // namespace

struct HttpEndpoint::State {
    Source source;
    httplib::Server server;
    std::thread thread;
};

HttpEndpoint::HttpEndpoint(Source source) : state_(std::make_unique<State>())
{
    state_->source = std::move(source);
    httplib::Server& server = state_->server;
    server.new_task_queue = [] { return new BoundedQueue; };
    server.set_read_timeout(kReadSeconds, 0);
    server.set_write_timeout(kReadSeconds, 0);
    server.set_keep_alive_timeout(kIdleSeconds);
    server.set_payload_max_length(0);
    // An answer goes out at once (no wait for the client's delayed ACK); the
    // accepted connections take the option from the listening socket.
    server.set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
    });
    server.set_pre_routing_handler(
        [](const httplib::Request& request, httplib::Response& response) {
            if (headerBytes(request) > kHeaderBytes) {
                response.status = 431;
                response.set_content("request header fields too large\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.method != "GET" && request.method != "HEAD") {
                response.status = 405;
                response.set_header("Allow", "GET, HEAD");
                response.set_content("only GET and HEAD are served\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    State* state = state_.get();
    server.Get("/metrics", [state](const httplib::Request&, httplib::Response& response) {
        response.set_content(prometheusText(state->source()),
                             "text/plain; version=0.0.4; charset=utf-8");
    });
    server.Get("/data.json", [state](const httplib::Request&, httplib::Response& response) {
        response.set_content(dataJson(state->source()), "application/json");
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content(std::to_string(response.status) + "\n", "text/plain");
    });
}

HttpEndpoint::~HttpEndpoint()
{
    stop();
}

int HttpEndpoint::start(const std::string& host, int port)
{
    httplib::Server& server = state_->server;
    const int bound =
        port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
    if (bound < 0)
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port));
    state_->thread = std::thread([&server] { server.listen_after_bind(); });
    return bound;
}

void HttpEndpoint::stop()
{
    if (state_->thread.joinable()) {
        state_->server.stop();
        state_->thread.join();
    }
}

} // namespace agent
