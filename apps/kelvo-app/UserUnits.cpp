#include "UserUnits.h"

namespace kelvo::app {

namespace {

constexpr int kTimeoutMs = 5000;
constexpr const char* kManager = "org.freedesktop.systemd1";
constexpr const char* kPath = "/org/freedesktop/systemd1";
constexpr const char* kInterface = "org.freedesktop.systemd1.Manager";

GVariant* call(GDBusConnection* bus, const char* method, GVariant* parameters, const GVariantType* reply,
               GError** error) {
  return g_dbus_connection_call_sync(bus, kManager, kPath, kInterface, method, parameters, reply,
                                     G_DBUS_CALL_FLAGS_NO_AUTO_START, kTimeoutMs, nullptr, error);
}

bool managerAnswers(GDBusConnection* bus) {
  GVariant* owner = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner",
                                                g_variant_new("(s)", kManager), G_VARIANT_TYPE("(b)"),
                                                G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr);
  gboolean has = FALSE;
  if (owner) {
    g_variant_get(owner, "(b)", &has);
    g_variant_unref(owner);
  }
  return has;
}

}  // namespace

UnitsOutcome enableAndRestart(const std::vector<std::string>& units) {
  UnitsOutcome outcome;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus || !managerAnswers(bus)) {
    if (bus) g_object_unref(bus);
    outcome.noManager = true;
    outcome.detail = "no systemd user manager on the session bus";
    return outcome;
  }
  GError* error = nullptr;
  GVariantBuilder names;
  g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
  for (const auto& unit : units) g_variant_builder_add(&names, "s", unit.c_str());
  GVariant* reply =
      call(bus, "EnableUnitFiles", g_variant_new("(asbb)", &names, FALSE, TRUE), nullptr, &error);
  if (reply) g_variant_unref(reply);
  if (!error) reply = call(bus, "Reload", nullptr, nullptr, &error);
  if (!error && reply) g_variant_unref(reply);
  for (const auto& unit : units) {
    if (error) break;
    reply = call(bus, "RestartUnit", g_variant_new("(ss)", unit.c_str(), "replace"), nullptr, &error);
    if (reply) g_variant_unref(reply);
  }
  if (error) {
    outcome.detail = error->message;
    g_error_free(error);
  } else {
    outcome.done = true;
  }
  g_object_unref(bus);
  return outcome;
}

std::string unitState(const std::string& unit) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return {};
  std::string state;
  if (managerAnswers(bus)) {
    GVariant* path =
        call(bus, "LoadUnit", g_variant_new("(s)", unit.c_str()), G_VARIANT_TYPE("(o)"), nullptr);
    if (path) {
      const gchar* object = nullptr;
      g_variant_get(path, "(&o)", &object);
      GVariant* value = g_dbus_connection_call_sync(
          bus, kManager, object, "org.freedesktop.DBus.Properties", "Get",
          g_variant_new("(ss)", "org.freedesktop.systemd1.Unit", "ActiveState"), G_VARIANT_TYPE("(v)"),
          G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr);
      if (value) {
        GVariant* inner = nullptr;
        g_variant_get(value, "(v)", &inner);
        state = g_variant_get_string(inner, nullptr);
        g_variant_unref(inner);
        g_variant_unref(value);
      }
      g_variant_unref(path);
    }
  }
  g_object_unref(bus);
  return state;
}

}  // namespace kelvo::app
