#include "HttpServer.h"

#include <linux/sockios.h>
#include <microhttpd.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Access.h"

namespace kelvo::serve {

namespace {

// An event stream says something at least this often, so a client that
// went away is noticed and proxies keep the connection.
constexpr auto kKeepAliveInterval = std::chrono::seconds(25);
// How often the housekeeping looks again for a shared directory to watch
// while it has none.
constexpr auto kWatchRetry = std::chrono::seconds(5);

std::optional<std::string> header(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string peerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  return info && info->client_addr ? addressText(info->client_addr) : std::string("?");
}

MHD_Result collectParameter(void* into, MHD_ValueKind, const char* key, std::size_t keySize,
                            const char* value, std::size_t valueSize) {
  auto& parameters = *static_cast<std::vector<QueryParameter>*>(into);
  parameters.push_back({std::string(key, keySize),
                        value ? std::optional<std::string>(std::string(value, valueSize)) : std::nullopt});
  return MHD_YES;
}

void logMhd(void* log, const char* format, va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  std::string line(text);
  while (!line.empty() && line.back() == '\n') line.pop_back();
  static_cast<ServeLog*>(log)->line(line);
}

}  // namespace

struct HttpServer::Connection {
  int fd = -1;
  std::string peer;
  Clock::time_point deadline;  // of the request being received or answered
  bool streaming = false;      // an event stream: no deadline
};

struct HttpServer::Request {
  Clock::time_point start = Clock::now();
  std::string target;  // as received, the token hidden, for the log
  bool handled = false;
  int status = 0;
  std::size_t bytes = 0;
  std::string timing;
};

struct HttpServer::Stream {
  HttpServer* server = nullptr;
  MHD_Connection* connection = nullptr;
  std::optional<std::string> language;
  std::string pending;  // bytes not yet handed over
  std::string lastData;
  Clock::time_point lastSent = Clock::now();
  std::uint64_t seen = 0;  // the generation last looked at
  bool suspended = false;
};

// ---- libmicrohttpd's callbacks ----

struct HttpServer::Callbacks {
  static void* uri(void*, const char* uri, MHD_Connection*) {
    auto* request = new Request;
    // Long enough to tell requests apart, short enough for one line.
    constexpr std::size_t kShown = 200;
    const std::string_view target(uri);
    request->target = hideToken(target.substr(0, kShown)) + (target.size() > kShown ? "…" : "");
    return request;
  }

  static MHD_Result request(void* self, MHD_Connection* connection, const char* url, const char* method,
                            const char*, const char*, std::size_t* uploadSize, void** state) {
    auto* server = static_cast<HttpServer*>(self);
    auto* request = static_cast<Request*>(*state);
    if (!request) *state = request = new Request;
    if (!request->handled) {
      // The headers are in. An answer now would end the connection after it
      // (libmicrohttpd drops the rest of a request answered early), so only
      // requests that are wrong already are answered here.
      request->handled = true;
      ++server->inFlight_;
      const bool bodyAnnounced = header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH).value_or("0") != "0" ||
                                 header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).has_value();
      if (!server->isReadMethod(method) || bodyAnnounced)
        return server->handle(connection, url, method, *request) ? MHD_YES : MHD_NO;
      return MHD_YES;
    }
    *uploadSize = 0;
    return server->handle(connection, url, method, *request) ? MHD_YES : MHD_NO;
  }

  static void completed(void* self, MHD_Connection* connection, void** state,
                        MHD_RequestTerminationCode reason) {
    auto* request = static_cast<Request*>(*state);
    *state = nullptr;
    static_cast<HttpServer*>(self)->completed(connection, request, reason);
  }

  static void connection(void* self, MHD_Connection* connection, void** socketContext,
                         MHD_ConnectionNotificationCode code) {
    static_cast<HttpServer*>(self)->connectionEvent(connection, socketContext,
                                                    code == MHD_CONNECTION_NOTIFY_STARTED);
  }

  static ssize_t streamRead(void* stream, std::uint64_t, char* buffer, std::size_t size) {
    auto* s = static_cast<Stream*>(stream);
    return s->server->readStream(*s, buffer, size);
  }

  static void streamFree(void* stream) {
    auto* s = static_cast<Stream*>(stream);
    {
      const std::lock_guard lock(s->server->streamsMutex_);
      s->server->streams_.erase(s);
    }
    delete s;
  }
};

HttpServer::HttpServer(WidgetService& service, SnapshotSource& source, ServerSettings settings, ServeLog& log)
    : service_(service), source_(source), settings_(std::move(settings)), log_(log) {}

HttpServer::~HttpServer() {
  if (daemon_) stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (inotifyFd_ >= 0) ::close(inotifyFd_);
}

Status HttpServer::start() {
  if (settings_.tlsCertificate && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
    return Error{"this libmicrohttpd was built without TLS"};
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (wakeFd_ < 0 || inotifyFd_ < 0)
    return Error{std::string("cannot watch the files: ") + std::strerror(errno)};

  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_SUSPEND_RESUME | MHD_USE_ERROR_LOG | MHD_USE_TURBO;
  const auto pointer = [](auto function) { return reinterpret_cast<intptr_t>(function); };
  std::vector<MHD_OptionItem> options{
      // First, so that the messages about the other options come here too.
      {MHD_OPTION_EXTERNAL_LOGGER, pointer(&logMhd), &log_},
      {MHD_OPTION_LISTEN_SOCKET, settings_.listenSocket, nullptr},
      {MHD_OPTION_THREAD_POOL_SIZE, settings_.threads, nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, settings_.maxConnections, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, settings_.maxPerAddress, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, settings_.idleSeconds, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(settings_.connectionMemory), nullptr},
      {MHD_OPTION_NOTIFY_CONNECTION, pointer(&Callbacks::connection), this},
      {MHD_OPTION_NOTIFY_COMPLETED, pointer(&Callbacks::completed), this},
      {MHD_OPTION_URI_LOG_CALLBACK, pointer(&Callbacks::uri), this},
      // The whole process ignores SIGPIPE.
      {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
  };
  if (settings_.tlsCertificate && settings_.tlsKey) {
    flags |= MHD_USE_TLS;
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(settings_.tlsCertificate->c_str())});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(settings_.tlsKey->c_str())});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Callbacks::request, this, MHD_OPTION_ARRAY,
                             options.data(), MHD_OPTION_END);
  if (!daemon_) return Error{"libmicrohttpd would not start (see the lines above)"};
  housekeeper_ = std::thread([this] { housekeeping(); });
  return {};
}

void HttpServer::stop() {
  if (!daemon_) return;
  // No new connections from here on: a connection waiting to be accepted is
  // refused rather than left hanging, unless systemd keeps the socket for
  // the next start.
  const MHD_socket listening = MHD_quiesce_daemon(daemon_);
  if (settings_.ownSocket && listening != MHD_INVALID_SOCKET) ::shutdown(listening, SHUT_RDWR);
  stopping_ = true;
  wakeStreams();
  // Requests in flight finish; none takes longer than its request time.
  const auto limit = Clock::now() + std::chrono::seconds(settings_.requestSeconds + 1);
  while (inFlight_ > 0 && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // A request is complete once its last bytes are with the kernel; they
  // reach the client only while the socket lives.
  const auto unacknowledged = [this] {
    const std::lock_guard lock(connectionsMutex_);
    int total = 0;
    for (const Connection* connection : connections_) {
      int queued = 0;
      if (connection->fd >= 0 && ::ioctl(connection->fd, SIOCOUTQ, &queued) == 0) total += queued;
    }
    return total;
  };
  while (unacknowledged() > 0 && Clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  wakeStreams();  // libmicrohttpd must not stop with a suspended connection
  wakeHousekeeping();
  if (housekeeper_.joinable()) housekeeper_.join();
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}

void HttpServer::dropCaches() {
  service_.dropCaches();
  wakeHousekeeping();  // the shared directory may be another one now
}

// ---- requests ----

int HttpServer::handle(MHD_Connection* connection, const char* url, const char* method, Request& request) {
  if (!isReadMethod(method)) {
    Reply reply = textReply(MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD");
    reply.headers.emplace_back("Allow", "GET, HEAD");
    return queue(connection, request, reply);
  }
  if (header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH).value_or("0") != "0" ||
      header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING))
    return queue(connection, request, textReply(MHD_HTTP_BAD_REQUEST, "a GET carries no body"));
  if (!authorised(connection)) {
    Reply reply =
        textReply(MHD_HTTP_UNAUTHORIZED, "needs the access token (Authorization: Bearer, or ?token=)");
    reply.headers.emplace_back("WWW-Authenticate", "Bearer");
    return queue(connection, request, reply);
  }
  std::vector<QueryParameter> parameters;
  MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, &collectParameter, &parameters);
  const auto parsed = parseRequest(url, parameters, service_.languages());
  if (const auto* bad = std::get_if<BadRequest>(&parsed))
    return queue(connection, request, textReply(MHD_HTTP_BAD_REQUEST, bad->message));
  if (std::holds_alternative<NotFound>(parsed))
    return queue(connection, request, textReply(MHD_HTTP_NOT_FOUND, "not found"));
  const serve::Request& parsedRequest = std::get<serve::Request>(parsed);
  if (parsedRequest.resource == Resource::events)
    return startStream(connection, request, parsedRequest.language);

  RequestHeaders headers;
  headers.ifNoneMatch = header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
  headers.acceptLanguage = header(connection, MHD_HTTP_HEADER_ACCEPT_LANGUAGE);
  for (const QueryParameter& parameter : parameters) {
    if (parameter.name == "token") headers.queryToken = parameter.value.value_or("");
  }
  return queue(connection, request, service_.answer(parsedRequest, headers));
}

bool HttpServer::isReadMethod(const char* method) {
  return std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 || std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
}

bool HttpServer::authorised(MHD_Connection* connection) const {
  if (!settings_.token) return true;
  bool allowed = false;
  if (const auto authorization = header(connection, MHD_HTTP_HEADER_AUTHORIZATION)) {
    if (const auto token = bearerToken(*authorization)) allowed = sameToken(*token, *settings_.token);
  }
  const char* query = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "token");
  if (query && sameToken(query, *settings_.token)) allowed = true;
  return allowed;
}

int HttpServer::queue(MHD_Connection* connection, Request& request, const Reply& reply) {
  // The response reads the body where it is; the copy of the pointer keeps it alive.
  auto* keep = new std::shared_ptr<const std::string>(reply.body);
  MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
      reply.body->size(), const_cast<char*>(reply.body->data()),
      [](void* kept) { delete static_cast<std::shared_ptr<const std::string>*>(kept); }, keep);
  if (!response) {
    delete keep;
    return MHD_NO;
  }
  if (!reply.contentType.empty())
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
  if (!reply.etag.empty()) MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, reply.etag.c_str());
  if (!reply.cacheControl.empty())
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, reply.cacheControl.c_str());
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  for (const auto& [name, value] : reply.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
    if (name == "Server-Timing") request.timing = value;
  }
  if (reply.contentType.starts_with("text/html")) {
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob:; "
                            "connect-src 'self'; base-uri 'none'; form-action 'none'");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
  }
  request.status = reply.status;
  request.bytes = reply.status == MHD_HTTP_NOT_MODIFIED ? 0 : reply.body->size();
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
  MHD_destroy_response(response);
  return queued;
}

void HttpServer::completed(MHD_Connection* connection, Request* request, int reason) {
  if (!request) return;
  if (request->handled) --inFlight_;
  int status = request->status;
  if (status == 0) {
    // Answered by libmicrohttpd itself (a line or headers too long, ...), or not at all.
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
    status = info ? static_cast<int>(info->http_status) : 0;
  }
  const bool failed = status >= 400 || (status == 0 && reason != MHD_REQUEST_TERMINATED_CLIENT_ABORT &&
                                        reason != MHD_REQUEST_TERMINATED_COMPLETED_OK &&
                                        reason != MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN);
  if (log_.verbose() || failed) {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - request->start).count();
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " %d %zu bytes %.1f ms", status, request->bytes, ms);
    std::string line = peerOf(connection) + " \"" + request->target + "\"" + numbers;
    if (!request->timing.empty()) line += " (" + request->timing + ")";
    if (status == 0)
      line += reason == MHD_REQUEST_TERMINATED_TIMEOUT_REACHED ? ": idle too long" : ": not answered";
    log_.line(line);
  }
  delete request;
  // The connection's next request gets a whole request time of its own.
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  if (info && info->socket_context) {
    const std::lock_guard lock(connectionsMutex_);
    auto* tracked = static_cast<Connection*>(info->socket_context);
    tracked->streaming = false;
    arm(*tracked, Clock::now() + std::chrono::seconds(settings_.requestSeconds));
  }
}

void HttpServer::connectionEvent(MHD_Connection* connection, void** socketContext, bool started) {
  const std::lock_guard lock(connectionsMutex_);
  if (started) {
    auto* tracked = new Connection;
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    tracked->fd = info ? info->connect_fd : -1;
    tracked->peer = peerOf(connection);
    connections_.insert(tracked);
    *socketContext = tracked;
    arm(*tracked, Clock::now() + std::chrono::seconds(settings_.requestSeconds));
    return;
  }
  // Called before libmicrohttpd closes the socket: the housekeeping never
  // shuts down a number that belongs to another connection by then.
  auto* tracked = static_cast<Connection*>(*socketContext);
  connections_.erase(tracked);
  delete tracked;
  *socketContext = nullptr;
}

void HttpServer::arm(Connection& connection, Clock::time_point deadline) {
  connection.deadline = deadline;
  if (deadline.time_since_epoch().count() < sleepsUntil_.load()) wakeHousekeeping();
}

// ---- event streams ----

int HttpServer::startStream(MHD_Connection* connection, Request& request,
                            const std::optional<std::string>& language) {
  if (stopping_) return queue(connection, request, textReply(MHD_HTTP_SERVICE_UNAVAILABLE, "stopping"));
  auto* stream = new Stream;
  stream->server = this;
  stream->connection = connection;
  stream->language = language;
  {
    const std::lock_guard lock(streamsMutex_);
    stream->seen = generation_;
    streams_.insert(stream);
  }
  MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &Callbacks::streamRead,
                                                             stream, &Callbacks::streamFree);
  if (!response) {
    Callbacks::streamFree(stream);
    return MHD_NO;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  request.status = MHD_HTTP_OK;
  {
    // A stream lasts as long as its client wants it.
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    const std::lock_guard lock(connectionsMutex_);
    if (info && info->socket_context) static_cast<Connection*>(info->socket_context)->streaming = true;
  }
  const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
  MHD_destroy_response(response);
  wakeHousekeeping();  // it times the streams' keep-alives and the clock's changes
  return queued;
}

long HttpServer::readStream(Stream& stream, char* buffer, std::size_t size) {
  while (stream.pending.empty()) {
    if (stopping_) return MHD_CONTENT_READER_END_OF_STREAM;
    const std::string data = service_.eventData(stream.language);
    if (data != stream.lastData) {
      // "retry": a browser reconnects after a second when the server restarts.
      stream.pending =
          (stream.lastData.empty() ? "retry: 1000\n" : "") + std::string("data: ") + data + "\n\n";
      stream.lastData = data;
      break;
    }
    if (Clock::now() - stream.lastSent >= kKeepAliveInterval) {
      stream.pending = ":\n\n";
      break;
    }
    const std::lock_guard lock(streamsMutex_);
    if (stream.seen == generation_) {
      // Nothing new: sleep until the housekeeping wakes the streams.
      stream.suspended = true;
      MHD_suspend_connection(stream.connection);
      return 0;
    }
    stream.seen = generation_;
  }
  const std::size_t n = std::min(size, stream.pending.size());
  std::memcpy(buffer, stream.pending.data(), n);
  stream.pending.erase(0, n);
  stream.lastSent = Clock::now();
  return static_cast<long>(n);
}

void HttpServer::wakeStreams() {
  const std::lock_guard lock(streamsMutex_);
  ++generation_;
  for (Stream* stream : streams_) {
    if (!stream->suspended) continue;
    stream->suspended = false;
    MHD_resume_connection(stream->connection);
  }
}

// ---- housekeeping ----

void HttpServer::wakeHousekeeping() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void HttpServer::housekeeping() {
  std::optional<std::filesystem::path> watched;
  int watch = -1;
  Clock::time_point watchTried{};
  Clock::time_point nextKeepAlive = Clock::now() + kKeepAliveInterval;
  while (!stopping_) {
    // Deadlines set while this pass looks wake it again at once.
    sleepsUntil_ = Clock::time_point::max().time_since_epoch().count();
    const Clock::time_point now = Clock::now();
    // The shared directory to watch: the one the files are read from.
    if (watch < 0 && now - watchTried >= kWatchRetry) {
      watchTried = now;
      watched = source_.directory();
      if (watched)
        watch = inotify_add_watch(inotifyFd_, watched->c_str(),
                                  IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF |
                                      IN_MOVE_SELF | IN_ONLYDIR);
    }

    // Connections past their request time are shut down; libmicrohttpd
    // then sees the end of the stream and closes them.
    std::optional<Clock::time_point> wakeAt;
    {
      const std::lock_guard lock(connectionsMutex_);
      for (Connection* connection : connections_) {
        if (connection->streaming) continue;
        if (connection->deadline <= now) {
          log_.line("closed " + connection->peer + ": no whole request within " +
                    std::to_string(settings_.requestSeconds) + " s");
          if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
          connection->deadline = Clock::time_point::max();
          continue;
        }
        wakeAt = std::min(wakeAt.value_or(connection->deadline), connection->deadline);
      }
    }
    bool hasStreams;
    {
      const std::lock_guard lock(streamsMutex_);
      hasStreams = !streams_.empty();
    }
    if (hasStreams) {
      if (now >= nextKeepAlive) {
        nextKeepAlive = now + kKeepAliveInterval;
        wakeStreams();
      }
      // The drawing's next change by the clock: the age text's minute.
      const double seconds = std::clamp(service_.secondsToNextChange(), 0.05, 3600.0);
      const auto change = now + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
      wakeAt = std::min({wakeAt.value_or(change), change, nextKeepAlive});
    }
    if (watch < 0) wakeAt = std::min(wakeAt.value_or(now + kWatchRetry), now + kWatchRetry);

    int timeout = -1;
    if (wakeAt) {
      timeout = static_cast<int>(std::clamp<long>(
          std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - now).count(), 0L, 3'600'000L));
    }
    sleepsUntil_ =
        wakeAt ? wakeAt->time_since_epoch().count() : Clock::time_point::max().time_since_epoch().count();
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeout);
    if (ready < 0) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count;
      [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    }
    bool filesChanged = false;
    if (fds[1].revents & POLLIN) {
      alignas(inotify_event) char events[4096];
      for (ssize_t n; (n = ::read(inotifyFd_, events, sizeof events)) > 0;) {
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
          inotify_event event;
          std::memcpy(&event, events + offset, sizeof event);
          const std::string_view name(events + offset + sizeof event,
                                      strnlen(events + offset + sizeof event, event.len));
          offset += static_cast<ssize_t>(sizeof event + event.len);
          if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
            if (watch >= 0) inotify_rm_watch(inotifyFd_, watch);
            watch = -1;
            filesChanged = true;
          }
          if (name == "snapshot.json" || name == "car.png" || (event.mask & IN_Q_OVERFLOW))
            filesChanged = true;
        }
      }
    }
    // Time passing may have reached the next change; the streams compare.
    if (hasStreams && (filesChanged || ready == 0)) wakeStreams();
  }
}

}  // namespace kelvo::serve
