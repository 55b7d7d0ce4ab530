// kelvo: the writer side of the shared store. A poller or script that knows
// the car's state hands it over through this program.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "ExitCodes.h"
#include "KelvoProgram.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoShared/SnapshotStateJson.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "StandardStreams.h"

namespace {

using kelvo::Error;
using kelvo::Result;
using kelvo::SharedStore;
using kelvo::Status;

using kelvo::apps::kExitFailure;
using kelvo::apps::kExitOk;
using kelvo::apps::kExitUsage;

using Options = kelvo::writer::KelvoCommandLine;

// Reads a whole file ("-": standard input), refusing more than `limit`
// bytes, which the store would not accept anyway.
Result<std::vector<std::uint8_t>> readInput(const std::string& path, std::size_t limit) {
  const bool standardInput = path == "-";
  const std::string name = standardInput ? "standard input" : path;
  const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{"cannot open " + name + ": " + std::generic_category().message(errno)};
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  std::optional<Error> failure;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = Error{"cannot read " + name + ": " + std::generic_category().message(errno)};
      break;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (bytes.size() > limit) {
      failure = Error{name + " is larger than " + std::to_string(limit >> 20) + " MiB"};
      break;
    }
  }
  if (!standardInput) ::close(fd);
  if (failure) return *failure;
  return bytes;
}

SharedStore storeFor(const Options& options) {
  return SharedStore(kelvo::Platform::forSharedDirectory(options.sharedDir));
}

int fail(const std::string& message) {
  std::cerr << "kelvo: " << kelvo::logValue(message, kelvo::kLogLineBytes) << '\n';
  return kExitFailure;
}

int done(const Status& status) { return status ? kExitOk : fail(status.error().message); }

// The commands that change the store go through its writer, which refuses
// to write into nowhere (that would look like success to the caller).

int save(const Options& options) {
  const auto writer = storeFor(options).writer();
  if (!writer) return fail(writer.error().message);
  const auto bytes = readInput(options.input, SharedStore::kSnapshotSizeLimit);
  if (!bytes) return fail(bytes.error().message);
  const auto snapshot =
      kelvo::decodeSnapshot(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!snapshot) return fail(snapshot.error().message);
  return done(writer->save(*snapshot));
}

int saveImage(const Options& options) {
  const auto writer = storeFor(options).writer();
  if (!writer) return fail(writer.error().message);
  const auto bytes = readInput(options.input, SharedStore::kImageSizeLimit);
  if (!bytes) return fail(bytes.error().message);
  return done(writer->saveImage(*bytes));
}

int removeImage(const Options& options) {
  const auto writer = storeFor(options).writer();
  return writer ? done(writer->removeImage()) : fail(writer.error().message);
}

int clear(const Options& options) {
  const auto writer = storeFor(options).writer();
  return writer ? done(writer->clear()) : fail(writer.error().message);
}

// Prints exactly one compact JSON object describing the snapshot's state.
int show(const Options& options) {
  bool readable = false;
  std::cout << kelvo::snapshotStateJson(storeFor(options).snapshotState(), options.pretty ? 2 : -1, &readable)
            << '\n';
  return readable ? kExitOk : kExitFailure;
}

int where(const Options& options) {
  const SharedStore store = storeFor(options);
  const auto group = store.appGroup();
  const auto dir = store.containerURL();
  std::cout << "app group: " << group.value_or("none") << '\n'
            << "shared group: " << (store.isSharedGroup() ? "yes" : "no") << '\n'
            << "shared directory: " << (dir ? dir->string() : "none") << '\n';
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::apps::prepareProcess();
  Options options;
  const kelvo::apps::Program program = kelvo::writer::kelvoProgram(options);
  const kelvo::apps::Parsed parsed = kelvo::apps::parseCommandLine(program, argc, argv);
  if (parsed.exit) return kelvo::apps::finishStandardOutput("kelvo", *parsed.exit);
  kelvo::apps::applyGiven(parsed);
  const std::pair<const char*, int (*)(const Options&)> commands[] = {
      {"save", save}, {"save-image", saveImage}, {"remove-image", removeImage}, {"clear", clear},
      {"show", show}, {"where", where},
  };
  int status = kExitUsage;
  for (const auto& [name, run] : commands) {
    if (parsed.command == name) status = run(options);
  }
  return kelvo::apps::finishStandardOutput("kelvo", status);
}
