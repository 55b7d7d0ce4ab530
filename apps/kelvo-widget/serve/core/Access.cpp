#include "Access.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include "KelvoShared/RegularFile.h"

namespace kelvo::serve {

Result<ListenAddress> parseListenAddress(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  const Error usage{"needs ADDRESS:PORT with a numeric address, e.g. 127.0.0.1:8765 or [::1]:8765, not \"" +
                    std::string(text) + "\""};
  if (colon == std::string_view::npos) return usage;
  std::string host(text.substr(0, colon));
  const std::string_view portText = text.substr(colon + 1);
  int port = -1;
  const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() || port < 0 ||
      port > 65535)
    return usage;
  ListenAddress address;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) != 1) return usage;
    std::memcpy(&address.address, &v6, sizeof v6);
    address.length = sizeof v6;
    return address;
  }
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) != 1) return usage;
  std::memcpy(&address.address, &v4, sizeof v4);
  address.length = sizeof v4;
  return address;
}

bool isLoopback(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  }
  return false;
}

std::string addressText(const sockaddr* address) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(v4->sin_port));
  }
  if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    return "[" + std::string(host) + "]:" + std::to_string(ntohs(v6->sin6_port));
  }
  return host;
}

Result<std::string> readTokenFile(const std::filesystem::path& file) {
  // As given: the caller escapes the whole message for its line.
  const std::string name = file.string();
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0)
    return Error{name + ": cannot open: " + std::generic_category().message(errno)};
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    return Error{"the token file " + name + " is open to group or others; refusing it (chmod 600 " + name +
                 ")"};
  const auto bytes = readRegularFile(file, 4096, FileNaming::byCaller);
  if (!bytes) return Error{name + ": " + bytes.error().message};
  std::string token(bytes->begin(), bytes->end());
  token = token.substr(0, token.find('\n'));
  if (token.ends_with('\r')) token.pop_back();
  for (const char c : token) {
    if (c <= ' ' || c > '~')
      return Error{"the token in " + name + " must be printable ASCII without blanks (it goes into URLs)"};
  }
  if (token.size() < kMinTokenLength)
    return Error{"the token in " + name + " is shorter than " + std::to_string(kMinTokenLength) +
                 " characters; make one with: head -c 24 /dev/urandom | base64 > " + name};
  return token;
}

std::optional<std::string_view> bearerToken(std::string_view authorization) {
  constexpr std::string_view kScheme = "bearer ";
  if (authorization.size() <= kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(authorization[i])) != kScheme[i]) return std::nullopt;
  }
  authorization.remove_prefix(kScheme.size());
  while (authorization.starts_with(' ')) authorization.remove_prefix(1);
  while (authorization.ends_with(' ')) authorization.remove_suffix(1);
  return authorization;
}

std::string hideToken(std::string_view target) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return std::string(target);
  std::string out(target.substr(0, question + 1));
  std::string_view query = target.substr(question + 1);
  for (bool first = true; !query.empty() || first; first = false) {
    const std::size_t amp = query.find('&');
    const std::string_view item = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    // The name as the server reads it: "%74oken" is "token" too.
    const std::string_view rawName = item.substr(0, item.find('='));
    std::string name;
    for (std::size_t i = 0; i < rawName.size(); ++i) {
      unsigned value = 0;
      if (rawName[i] == '%' && i + 2 < rawName.size() &&
          std::from_chars(rawName.data() + i + 1, rawName.data() + i + 3, value, 16).ptr ==
              rawName.data() + i + 3) {
        name += static_cast<char>(value);
        i += 2;
      } else {
        name += rawName[i];
      }
    }
    out += first ? "" : "&";
    out += name == "token" ? std::string(rawName) + "=…" : std::string(item);
  }
  return out;
}

bool sameToken(std::string_view given, std::string_view expected) {
  // Every byte of the expected token is visited whatever was given.
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= g ^ static_cast<unsigned char>(expected[i]);
  }
  return difference == 0;
}

}  // namespace kelvo::serve
