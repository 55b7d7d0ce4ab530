#include "KelvoShared/SnapshotStateJson.h"

#include <nlohmann/json.hpp>
#include <variant>

#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {

std::string snapshotStateJson(const SharedStore::SnapshotState& state, int indent, bool* readable) {
  using Json = nlohmann::ordered_json;
  Json out = Json::object();
  bool ok = false;
  if (const auto* stored = std::get_if<SharedStore::Ok>(&state)) {
    const auto text = encodeSnapshot(stored->snapshot);
    if (text) {
      out["state"] = "ok";
      out["snapshot"] = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
      ok = true;
    } else {
      out["state"] = "unreadable";
      out["message"] = text.error().message;
    }
  } else if (const auto* unreadable = std::get_if<SharedStore::Unreadable>(&state)) {
    out["state"] = "unreadable";
    out["message"] = unreadable->message;
  } else if (std::holds_alternative<SharedStore::NoContainer>(state)) {
    out["state"] = "noContainer";
  } else {
    out["state"] = "noFile";
  }
  if (readable) *readable = ok;
  return out.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kelvo
