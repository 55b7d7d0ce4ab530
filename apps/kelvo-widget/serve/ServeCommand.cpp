// `serve`: the widget over HTTP for dashboards, e-ink frames and browsers.

#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <thread>

#include "Access.h"
#include "Commands.h"
#include "HttpServer.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/RegularFile.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "PanelImage.h"

namespace kelvo::host {

namespace {

using serve::ServeLog;

// Every option of `serve` (rows of WidgetProgram.cpp).
struct ServeOptions {
  RequestOptions request;  // --shared-dir and --now
  std::string listen;
  std::optional<std::string> tokenFile;
  std::optional<std::string> tlsCertificate, tlsKey;
  serve::ServerSettings limits;
  bool verbose;
};

// The socket systemd hands over (socket activation), if it does.
Result<std::optional<int>> handedOverSocket() {
  const char* pid = std::getenv("LISTEN_PID");
  const char* count = std::getenv("LISTEN_FDS");
  if (!pid || !count || std::to_string(::getpid()) != pid) return std::optional<int>();
  for (const char* name : {"LISTEN_PID", "LISTEN_FDS", "LISTEN_FDNAMES"}) ::unsetenv(name);
  if (std::string(count) != "1")
    return Error{"systemd handed over " + std::string(count) + " sockets; serve takes one"};
  constexpr int kFirst = 3;  // SD_LISTEN_FDS_START
  int listening = 0, type = 0;
  socklen_t size = sizeof listening;
  if (::getsockopt(kFirst, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening ||
      ::getsockopt(kFirst, SOL_SOCKET, SO_TYPE, &type, &(size = sizeof type)) != 0 || type != SOCK_STREAM)
    return Error{"the socket systemd handed over is no listening stream socket (ListenStream=)"};
  return std::optional<int>(kFirst);
}

Result<int> listenOn(const std::string& text) {
  const serve::ListenAddress address = *serve::parseListenAddress(text);
  const int family = address.address.ss_family;
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  if (fd >= 0) {
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // [::]:PORT means IPv6 only; 0.0.0.0 is the way to IPv4.
    if (family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  }
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0 ||
      ::listen(fd, SOMAXCONN) != 0) {
    const std::string reason = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return Error{"cannot listen on " + text + ": " + reason};
  }
  return fd;
}

Result<std::string> readPem(const std::string& file) {
  const auto bytes = readRegularFile(file, 1u << 20, FileNaming::byCaller);
  if (!bytes) return Error{file + ": " + bytes.error().message};
  return std::string(bytes->begin(), bytes->end());
}

int fail(const std::string& message, int status = apps::kExitFailure) {
  std::cerr << "kelvo-widget serve: " << logValue(message, kLogLineBytes) << "\n";
  return status;
}

int serveWidget(ServeOptions& options) {
  // Signals arrive through sigwait below, never in a server thread.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  ui::PangoTextMeasurer::prepare();
  // Drawings reuse heap memory whose pages are already there: drawImage
  // keeps its surfaces within kHeapDrawingBytes (the large widget at 2x is
  // 2.2 MB), drawing larger images in bands. Anything larger gets pages of
  // its own and gives them back, so a rare huge buffer does not stay in
  // memory. Free space is kept up to 8 MiB instead of being returned after
  // every drawing.
  ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(serve::kHeapDrawingBytes));
  ::mallopt(M_TRIM_THRESHOLD, 8 << 20);
  // One heap for all threads: a page that one thread's drawing touched is
  // there for the next drawing on any thread (the kernel's first touch of
  // a page costs more than the locking; small blocks come from each
  // thread's cache without it), and the warm-up's drawing below touches
  // them before the first request.
  ::mallopt(M_ARENA_MAX, 1);

  serve::ServerSettings settings = options.limits;
  if (options.tokenFile) {
    Result<std::string> token = serve::readTokenFile(*options.tokenFile);
    if (!token) return fail(token.error().message);
    settings.token = *token;
  }
  if (options.tlsCertificate) {
    Result<std::string> certificate = readPem(*options.tlsCertificate), key = readPem(*options.tlsKey);
    if (!certificate) return fail(certificate.error().message);
    if (!key) return fail(key.error().message);
    settings.tlsCertificate = *certificate;
    settings.tlsKey = *key;
  }

  const Result<std::optional<int>> handedOver = handedOverSocket();
  if (!handedOver) return fail(handedOver.error().message);
  bool ownSocket = !handedOver->has_value();
  Result<int> socket = ownSocket ? listenOn(options.listen) : Result<int>(**handedOver);
  if (!socket) return fail(socket.error().message);
  settings.listenSocket = *socket;
  settings.ownSocket = ownSocket;
  // Several threads wait on it: the one that loses the race for a
  // connection must not block in accept().
  ::fcntl(*socket, F_SETFL, ::fcntl(*socket, F_GETFL) | O_NONBLOCK);
  ::fcntl(*socket, F_SETFD, FD_CLOEXEC);
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  ::getsockname(*socket, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  const auto* address = reinterpret_cast<const sockaddr*>(&bound);
  if (!serve::isLoopback(address) && !settings.token) {
    if (ownSocket) ::close(*socket);
    return fail(serve::addressText(address) + " is reachable from other machines: give --token-file",
                apps::kExitUsage);
  }

  ServeLog log(options.verbose);
  const Platform platform = Platform::forSharedDirectory(options.request.sharedDir);
  serve::SnapshotSource source(platform, options.request.clock());
  serve::WidgetService service(source, options.request.clock());
  // The fonts are loaded while the server starts listening, for a text
  // measurer per server thread and for the thread that paints ahead.
  serve::prepareDrawing([] { serve::WidgetService::drawSample(false); });
  const std::jthread warming([&] { service.warmUp(settings.threads); });
  serve::HttpServer server(service, source, settings, log);
  if (const Status started = server.start(); !started) {
    if (ownSocket) ::close(*socket);
    return fail(started.error().message);
  }
  const auto directory = source.directory();
  log.line(std::string("listening on ") + (settings.tlsCertificate ? "https://" : "http://") +
           serve::addressText(address) + "/" + (ownSocket ? "" : " (socket from systemd)") +
           "; shared directory " + (directory ? directory->string() : "none yet"));

  for (;;) {
    int received = 0;
    if (sigwait(&signals, &received) != 0) continue;
    if (received == SIGHUP) {
      server.dropCaches();
      log.line("dropped the caches (SIGHUP)");
      continue;
    }
    break;
  }
  log.line("stopping: finishing the requests in flight");
  server.stop();
  if (ownSocket) ::close(*socket);
  log.line("stopped");
  return apps::kExitOk;
}

}  // namespace

int serveCommand(const WidgetCommandLine& line) {
  if (line.tlsCertificate.has_value() != line.tlsKey.has_value()) {
    std::cerr << "kelvo-widget: "
              << (line.tlsKey ? "--tls-key: needs --tls-cert" : "--tls-cert: needs --tls-key") << '\n';
    return apps::kExitUsage;
  }
  serve::ServerSettings limits;
  limits.maxConnections = line.maxConnections;
  limits.maxPerAddress = line.maxPerAddress;
  limits.idleSeconds = line.idleSeconds;
  limits.requestSeconds = line.requestSeconds;
  limits.threads = line.threads;
  ServeOptions options{RequestOptions(line), line.listen, line.tokenFile, line.tlsCertificate,
                       line.tlsKey,          limits,      line.verbose};
  return serveWidget(options);
}

}  // namespace kelvo::host
