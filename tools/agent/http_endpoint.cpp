// SPDX-License-Identifier: MIT
// http_endpoint.cpp
//
// The agent's routes, limits and timeouts on Boost.Beast's HTTP parser and
// Boost.Asio's sockets, all on the agent's one io_context: an acceptor that
// stops accepting while kConnections are open (the rest wait in the
// kernel's listen queue) and a connection object per client with a deadline
// on every read and write.
#include "tools/agent/http_endpoint.h"

#include "tools/agent/metrics_text.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <chrono>
#include <optional>
#include <stdexcept>

namespace agent {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr size_t kConnections = 20;          // open at once
constexpr size_t kLineBytes = 8192;          // the request line, or one header line
constexpr size_t kHeaderBytes = 8192;        // all header lines together
constexpr size_t kHeadBytes = 16384;         // what the parser reads of a request's head at most
constexpr size_t kDrainBytes = 65536;        // read and dropped before closing on a refused request
constexpr std::chrono::seconds kReadTime{5}; // a request must arrive within this after the
                                             // connection or the last answer (idle kept-alive)
constexpr std::chrono::seconds kWriteTime{5};
constexpr std::chrono::milliseconds kAcceptRetry{100}; // after the system refused an accept

using Request = http::request<http::empty_body>;
using Response = http::response<http::string_body>;

} // namespace

struct HttpEndpoint::State : std::enable_shared_from_this<State> {
    State(asio::io_context& io, Source source) : source(std::move(source)), acceptor(io), retry(io)
    {
    }
    void accept();
    void closed();
    void resume();

    Source source;
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    size_t open = 0;        // connections open now
    bool accepting = false; // an accept is pending (or its retry)
};

namespace {

// One client: requests read one after the other (kept alive as the client
// asks), each answered before the next is read.
class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(tcp::socket socket, std::shared_ptr<HttpEndpoint::State> endpoint)
        : stream_(std::move(socket)), buffer_(kHeadBytes), endpoint_(std::move(endpoint))
    {
    }
    ~Connection()
    {
        endpoint_->closed();
    }

    void read()
    {
        parser_.emplace();
        parser_->header_limit(kHeadBytes);
        stream_.expires_after(kReadTime);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code error, size_t) {
                                    self->received(error);
                                });
    }

  private:
    void received(beast::error_code error)
    {
        if (error == http::error::header_limit || error == http::error::buffer_overflow) {
            refuse(431, "request header fields too large\n");
        } else if (error &&
                   error.category() ==
                       beast::http::make_error_code(http::error::bad_target).category() &&
                   error != http::error::end_of_stream && error != http::error::partial_message) {
            refuse(400, "400 bad request\n");
        } else if (!error) {
            answer(parser_->get());
        }
        // Otherwise (the client closed or timed out): the connection ends
        // here.
    }

    // The answer to a request that was read whole.
    void answer(const Request& request)
    {
        size_t headerBytes = 0;
        bool longLine = request.target().size() > kLineBytes;
        for (const auto& field : request) {
            const size_t line = field.name_string().size() + field.value().size() + 4;
            headerBytes += line;
            longLine = longLine || line > kLineBytes;
        }
        const beast::string_view target = request.target();
        const beast::string_view path = target.substr(0, target.find('?'));
        const bool head = request.method() == http::verb::head;
        if (longLine) {
            respond(400, "400 bad request\n", "text/plain", false);
        } else if (headerBytes > kHeaderBytes) {
            respond(431, "request header fields too large\n", "text/plain", false);
        } else if (request.method() != http::verb::get && !head) {
            response_.set(http::field::allow, "GET, HEAD");
            respond(405, "only GET and HEAD are served\n", "text/plain", request.keep_alive());
        } else if (path == "/metrics") {
            respond(200, prometheusText(endpoint_->source()),
                    "text/plain; version=0.0.4; charset=utf-8", request.keep_alive());
        } else if (path == "/data.json") {
            respond(200, dataJson(endpoint_->source()), "application/json", request.keep_alive());
        } else {
            respond(404, "404 not found\n", "text/plain", request.keep_alive());
        }
        if (head)
            omitBody();
        // A body we did not read would be taken for the next request.
        if (!parser_->is_done())
            response_.keep_alive(false);
        response_.version(request.version());
        write();
    }

    void refuse(unsigned status, const char* text)
    {
        respond(status, text, "text/plain", false);
        write();
    }

    void respond(unsigned status, std::string body, const char* type, bool keepAlive)
    {
        response_.result(status);
        response_.set(http::field::content_type, type);
        response_.body() = std::move(body);
        response_.keep_alive(keepAlive);
        response_.prepare_payload();
    }

    // HEAD: the headers of GET's answer, its Content-Length included.
    void omitBody()
    {
        const std::string length = std::to_string(response_.body().size());
        response_.body().clear();
        response_.set(http::field::content_length, length);
    }

    void write()
    {
        stream_.expires_after(kWriteTime);
        http::async_write(stream_, response_,
                          [self = shared_from_this()](beast::error_code error, size_t) {
                              if (error)
                                  return;
                              if (self->response_.keep_alive()) {
                                  self->response_ = Response();
                                  self->read();
                              } else {
                                  self->close();
                              }
                          });
    }

    // The answer is sent: what the client still sends is read and dropped
    // (a little of it, for a little while) so that closing does not reset
    // the connection before the client has read the answer.
    void close()
    {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        drain();
    }
    void drain()
    {
        stream_.expires_after(kReadTime);
        stream_.async_read_some(asio::buffer(discard_),
                                [self = shared_from_this()](beast::error_code error, size_t bytes) {
                                    self->drained_ += bytes;
                                    if (!error && self->drained_ < kDrainBytes)
                                        self->drain();
                                });
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    Response response_;
    std::array<char, 4096> discard_{};
    size_t drained_ = 0;
    std::shared_ptr<HttpEndpoint::State> endpoint_;
};

} // namespace

void HttpEndpoint::State::accept()
{
    accepting = true;
    acceptor.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
        self->accepting = false;
        if (!self->acceptor.is_open())
            return;
        if (error) {
            // Out of sockets or memory for now: try again a little later,
            // never in a tight loop.
            self->accepting = true;
            self->retry.expires_after(kAcceptRetry);
            self->retry.async_wait([self](beast::error_code waited) {
                self->accepting = false;
                if (!waited)
                    self->resume();
            });
            return;
        }
        // An answer goes out at once, without waiting for the client's
        // delayed ACK.
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        ++self->open;
        std::make_shared<Connection>(std::move(socket), self)->read();
        if (self->open < kConnections)
            self->accept();
    });
}

// A connection ended: accept again if the bound had stopped it.
void HttpEndpoint::State::closed()
{
    if (open > 0)
        --open;
    resume();
}

void HttpEndpoint::State::resume()
{
    if (!accepting && acceptor.is_open() && open < kConnections)
        accept();
}

HttpEndpoint::HttpEndpoint(asio::io_context& io, Source source)
    : state_(std::make_shared<State>(io, std::move(source)))
{
}

HttpEndpoint::~HttpEndpoint()
{
    beast::error_code ignored;
    state_->acceptor.close(ignored);
    state_->retry.cancel();
}

int HttpEndpoint::start(const std::string& host, int port)
{
    const std::string where = host + ":" + std::to_string(port);
    beast::error_code error;
    tcp::resolver resolver(state_->acceptor.get_executor());
    const auto addresses = resolver.resolve(
        host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, error);
    if (error || addresses.empty())
        throw std::runtime_error("cannot listen on " + where + ": " +
                                 (error ? error.message() : "no such address"));
    const tcp::endpoint address = *addresses.begin();
    tcp::acceptor& acceptor = state_->acceptor;
    acceptor.open(address.protocol(), error);
#ifndef _WIN32
    // On Windows SO_REUSEADDR would let two programs share the port.
    if (!error)
        acceptor.set_option(tcp::acceptor::reuse_address(true), error);
#endif
    if (!error)
        acceptor.bind(address, error);
    if (!error)
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        beast::error_code ignored;
        acceptor.close(ignored);
        throw std::runtime_error("cannot listen on " + where + ": " + error.message());
    }
    state_->accept();
    return acceptor.local_endpoint().port();
}

} // namespace agent
