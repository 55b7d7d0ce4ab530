#pragma once

// The widget's answers on libmicrohttpd: its epoll thread pool, limits,
// timeouts and TLS, plus what it lacks: a total time for each request (a
// client that sends a byte a second never goes idle), Server-Sent Events
// woken by changes of the shared files and the clock, and a stop that lets
// requests in flight finish.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>

#include "KelvoBase/Result.h"
#include "ServeLog.h"
#include "WidgetService.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace kelvo::serve {

struct ServerSettings {
  int listenSocket = -1;                              // bound and listening
  bool ownSocket = true;                              // not systemd's, which keeps it for the next start
  std::optional<std::string> token;                   // required of every request when given
  std::optional<std::string> tlsCertificate, tlsKey;  // PEM text; both or neither
  unsigned threads = 2;
  unsigned maxConnections = 512;
  unsigned maxPerAddress = 64;
  unsigned idleSeconds = 15;
  unsigned requestSeconds = 30;
  std::size_t connectionMemory = 16 * 1024;  // bytes per connection for the request's line and headers
};

class HttpServer {
 public:
  HttpServer(WidgetService& service, SnapshotSource& source, ServerSettings settings, ServeLog& log);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  Status start();
  // Stops accepting, ends the event streams, waits for requests in flight
  // (at most the request time), then stops. Returns the listening socket,
  // still open, to its owner.
  void stop();
  // SIGHUP: forgets what was drawn and read.
  void dropCaches();

  // Per connection, per request and per event stream.
  struct Connection;
  struct Request;
  struct Stream;

 private:
  using Clock = std::chrono::steady_clock;
  // libmicrohttpd's callbacks, with its exact types.
  struct Callbacks;
  friend struct Callbacks;

  int handle(MHD_Connection* connection, const char* url, const char* method, Request& request);
  void completed(MHD_Connection* connection, Request* request, int reason);
  void connectionEvent(MHD_Connection* connection, void** socketContext, bool started);
  int queue(MHD_Connection* connection, Request& request, const Reply& reply);
  int startStream(MHD_Connection* connection, Request& request, const std::optional<std::string>& language);
  long readStream(Stream& stream, char* buffer, std::size_t size);
  bool authorised(MHD_Connection* connection) const;
  static bool isReadMethod(const char* method);

  // The housekeeping thread: closes connections past their request time,
  // wakes the event streams when the files change, the drawing's next
  // change comes, or a keep-alive is due.
  void housekeeping();
  void wakeStreams();
  void wakeHousekeeping();
  // Sets a connection's deadline; wakes the housekeeping when it sleeps past it.
  void arm(Connection& connection, Clock::time_point deadline);

  WidgetService& service_;
  SnapshotSource& source_;
  const ServerSettings settings_;
  ServeLog& log_;
  MHD_Daemon* daemon_ = nullptr;

  std::mutex connectionsMutex_;
  std::unordered_set<Connection*> connections_;

  std::mutex streamsMutex_;
  std::unordered_set<Stream*> streams_;
  std::uint64_t generation_ = 0;  // counts wake-ups of the streams

  std::atomic<int> inFlight_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<Clock::rep> sleepsUntil_{0};  // the housekeeping's next wake-up
  int wakeFd_ = -1;                         // eventfd: wakes the housekeeping thread
  int inotifyFd_ = -1;                      // the shared directory's changes
  std::thread housekeeper_;
};

}  // namespace kelvo::serve
