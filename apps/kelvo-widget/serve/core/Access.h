#pragma once

// Who may ask: the address the server listens on, the access token and
// how a request shows it.

#include <sys/socket.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "KelvoBase/Result.h"

namespace kelvo::serve {

struct ListenAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
};

// "127.0.0.1:8765", "[::1]:8765", "0.0.0.0:8765": a numeric IPv4 or
// bracketed IPv6 address and a port (0 asks the system for a free one).
Result<ListenAddress> parseListenAddress(std::string_view text);

// Whether connections to `address` can come from this machine only
// (127.0.0.0/8, ::1, or IPv4-mapped 127.x).
bool isLoopback(const sockaddr* address);

// "127.0.0.1:8765", "[::1]:8765".
std::string addressText(const sockaddr* address);

// Tokens shorter than this are refused: the token is all that stands
// between a listening network address and the car's whereabouts.
inline constexpr std::size_t kMinTokenLength = 16;

// The token in `file`: its first line without the line end; printable ASCII
// without blanks (it travels in URLs and headers), at least kMinTokenLength
// characters. Refuses a file that group or others may read or write (chmod
// 600), as ssh does a private key.
Result<std::string> readTokenFile(const std::filesystem::path& file);

// The token an Authorization header carries ("Bearer <token>"), if any.
std::optional<std::string_view> bearerToken(std::string_view authorization);

// The request target for the log, the token's value hidden:
// "/widget.png?token=…&family=large".
std::string hideToken(std::string_view target);

// Compares in time that depends on the lengths only, never on where the
// first difference is.
bool sameToken(std::string_view given, std::string_view expected);

}  // namespace kelvo::serve
