#include "WaylandOutputs.h"

#include <memory>

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#include <wayland-client.h>

#include "xdg-output-unstable-v1-client-protocol.h"
#endif

namespace kelvo::desktop {

#ifdef GDK_WINDOWING_WAYLAND
namespace {

struct Output {
  wl_output* output = nullptr;
  zxdg_output_v1* xdgOutput = nullptr;
  WaylandOutput found;
};

struct Registry {
  zxdg_output_manager_v1* manager = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto* state = static_cast<Registry*>(data);
  if (std::string(interface) == wl_output_interface.name) {
    auto output = std::make_unique<Output>();
    output->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
    state->outputs.push_back(std::move(output));
  } else if (std::string(interface) == zxdg_output_manager_v1_interface.name && version >= 2) {
    state->manager = static_cast<zxdg_output_manager_v1*>(
        wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, 2));
  }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
constexpr wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

void onPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  static_cast<Output*>(data)->found.x = x;
  static_cast<Output*>(data)->found.y = y;
}
void onSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
void onDone(void*, zxdg_output_v1*) {}
void onName(void* data, zxdg_output_v1*, const char* name) { static_cast<Output*>(data)->found.name = name; }
void onDescription(void*, zxdg_output_v1*, const char*) {}
constexpr zxdg_output_v1_listener kOutputListener{onPosition, onSize, onDone, onName, onDescription};

}  // namespace
#endif

std::vector<WaylandOutput> waylandOutputs(GdkDisplay* display) {
  std::vector<WaylandOutput> result;
#ifdef GDK_WINDOWING_WAYLAND
  if (!GDK_IS_WAYLAND_DISPLAY(display)) return result;
  wl_display* wayland = gdk_wayland_display_get_wl_display(display);
  wl_event_queue* queue = wl_display_create_queue(wayland);
  auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(wayland));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
  wl_registry* registry = wl_display_get_registry(wrapper);
  Registry state;
  wl_registry_add_listener(registry, &kRegistryListener, &state);
  wl_display_roundtrip_queue(wayland, queue);
  if (state.manager) {
    for (auto& output : state.outputs) {
      output->xdgOutput = zxdg_output_manager_v1_get_xdg_output(state.manager, output->output);
      zxdg_output_v1_add_listener(output->xdgOutput, &kOutputListener, output.get());
    }
    wl_display_roundtrip_queue(wayland, queue);
  }
  for (auto& output : state.outputs) {
    if (!output->found.name.empty()) result.push_back(output->found);
    if (output->xdgOutput) zxdg_output_v1_destroy(output->xdgOutput);
    wl_output_destroy(output->output);
  }
  if (state.manager) zxdg_output_manager_v1_destroy(state.manager);
  wl_registry_destroy(registry);
  wl_proxy_wrapper_destroy(wrapper);
  wl_event_queue_destroy(queue);
#else
  (void)display;
#endif
  return result;
}

}  // namespace kelvo::desktop
