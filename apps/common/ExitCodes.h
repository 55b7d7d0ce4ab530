#pragma once

// The exit statuses of every Kelvo program (kelvo, kelvo-widget, kelvo-feed,
// kelvo-desktop).

namespace kelvo::apps {

inline constexpr int kExitOk = 0;
// The command ran and failed, or `kelvo show` found no readable snapshot.
inline constexpr int kExitFailure = 1;
// The command line was wrong: an unknown command or option, a bad value.
inline constexpr int kExitUsage = 2;

}  // namespace kelvo::apps
