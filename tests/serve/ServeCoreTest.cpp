// The server's rules that no client can see one by one: which catalog a
// browser gets, renders made once per key and dropped oldest first, the
// token kept out of the log, and panel greys the same in vector lanes.

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "Access.h"
#include "Languages.h"
#include "PanelImage.h"
#include "RenderCache.h"

namespace kelvo::serve {
namespace {

TEST(ServeCoreTest, BrowsersGetTheClosestCatalogByWeight) {
  const std::vector<std::string> languages{"de", "en", "pt_BR", "sv", "zh_CN"};
  // clang-format off
  for (const auto& [header, expected] : std::vector<std::pair<std::string, std::optional<std::string>>>{
           {"de-CH,de;q=0.9,en;q=0.8", "de"},
           {"fr-FR, sv;q=0.3, en;q=0.2", "sv"},
           {"en;q=0.2, DE;q=0.5", "de"},
           {"pt-PT", "pt_BR"},
           {"pt-br;q=1.0", "pt_BR"},
           {"zh-TW, zh-Hant;q=0.9, en;q=0.1", "en"},
           {"zh-Hans-CN", "zh_CN"},
           {"de;q=0, sv", "sv"},
           {"*, de", std::nullopt},
           {"fr, it", std::nullopt},
           {"de;q=bogus, sv;q=0.1", "sv"},
           {"", std::nullopt}}) {
    // clang-format on
    EXPECT_EQ(negotiateLanguage(header, languages), expected) << header;
  }
}

TEST(ServeCoreTest, RendersAreMadeOncePerKeyAndTheLeastRecentlyUsedGoFirst) {
  RenderCache cache(100, 3);
  std::atomic<int> made = 0;
  const auto render = [&](std::size_t bytes, int status = 200) {
    return [&made, bytes, status] {
      ++made;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return std::make_shared<const Rendered>(Rendered{status, "image/png", std::string(bytes, 'x'), 50});
    };
  };
  std::vector<std::thread> askers;
  for (int i = 0; i < 4; ++i)
    askers.emplace_back([&] { EXPECT_EQ(cache.get("a", render(30)).value->body.size(), 30u); });
  for (std::thread& asker : askers) asker.join();
  EXPECT_EQ(made, 1);
  // Over the entry limit: the least recently used goes.
  cache.get("b", render(30));
  cache.get("c", render(30));
  EXPECT_FALSE(cache.get("a", render(30)).made);
  cache.get("d", render(30));  // b, the least recently used, goes
  EXPECT_EQ(cache.keptEntries(), 3u);
  EXPECT_FALSE(cache.get("a", render(30)).made);
  EXPECT_TRUE(cache.get("b", render(30)).made);
  // Over the byte budget; failures and what exceeds the budget are handed out, never kept.
  cache.get("e", render(90));
  EXPECT_EQ(cache.keptEntries(), 1u);
  EXPECT_EQ(cache.keptBytes(), 90u);
  EXPECT_EQ(cache.get("f", render(10, 500)).value->status, 500);
  EXPECT_TRUE(cache.get("f", render(10, 500)).made);
  EXPECT_TRUE(cache.get("g", render(101)).made);
  EXPECT_TRUE(cache.get("g", render(101)).made);
  cache.clear();
  EXPECT_EQ(cache.keptBytes(), 0u);
  EXPECT_TRUE(cache.get("e", render(90)).made);
}

TEST(ServeCoreTest, TheLogShowsWhereTheTokenWasNeverWhatItIs) {
  // clang-format off
  for (const auto& [target, logged] : std::vector<std::pair<std::string, std::string>>{
           {"/widget.png?family=large", "/widget.png?family=large"},
           {"/?token=s3cret", "/?token=…"},
           {"/status.json?lang=de&token=s3cret&x", "/status.json?lang=de&token=…&x"},
           {"/?%74oken=s3cret&token", "/?%74oken=…&token=…"},
           {"/?tokens=1&atoken=2", "/?tokens=1&atoken=2"}}) {
    // clang-format on
    EXPECT_EQ(hideToken(target), logged) << target;
  }
  EXPECT_TRUE(sameToken("0123456789abcdef", "0123456789abcdef"));
  EXPECT_FALSE(sameToken("0123456789abcdeF", "0123456789abcdef"));
  EXPECT_FALSE(sameToken("0123456789abcdef0", "0123456789abcdef"));
  EXPECT_FALSE(sameToken("", "0123456789abcdef"));
}

// Eight rows diffused at once in vector lanes give the greys of row after
// row, for every dithering and level count: widths shorter than the lanes'
// stagger, heights that leave rows over, noise, flat fields and ramps, and
// the extremes where errors are largest.
TEST(ServeCoreTest, PanelGreysInVectorLanesAreTheRowByRowOnes) {
  std::mt19937 random(7);
  const auto image = [&](int width, int height, int kind) {
    std::vector<std::uint8_t> greys(static_cast<std::size_t>(width * height));
    for (int i = 0; i < width * height; ++i) {
      const int x = i % width, y = i / width;
      greys[static_cast<std::size_t>(i)] =
          static_cast<std::uint8_t>(kind == 0   ? random() % 256
                                    : kind == 1 ? 200
                                    : kind == 2 ? (x * 255) / std::max(1, width - 1)
                                                : (x + y) % 2 * 255);
    }
    return greys;
  };
  for (const Dither dither : {Dither::floydSteinberg, Dither::atkinson, Dither::none})
    for (const int levels : {2, 4, 16})
      for (const auto& [width, height] : {std::pair{1, 9}, {5, 8}, {15, 17}, {64, 24}, {333, 41}})
        for (int kind = 0; kind < 4; ++kind) {
          std::vector<std::uint8_t> rowByRow = image(width, height, kind), lanes = rowByRow;
          quantise(rowByRow.data(), width, height, levels, dither, false);
          quantise(lanes.data(), width, height, levels, dither, true);
          EXPECT_EQ(lanes, rowByRow) << int(dither) << " " << levels << " " << width << "x" << height << " "
                                     << kind;
          const std::set<int> seen(rowByRow.begin(), rowByRow.end());
          for (const int grey : seen) EXPECT_EQ(grey * (levels - 1) % 255, 0) << levels << ": grey " << grey;
        }
}

}  // namespace
}  // namespace kelvo::serve
