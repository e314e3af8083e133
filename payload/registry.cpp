#include "payload/registry.h"

#include <mutex>
#include <vector>

#include "payload/config.h"
#include "payload/graphics.h"
#include "payload/textcodec.h"

namespace slidesaver {
namespace {

struct ClassEntry {
  std::string name;
  ComponentFactory factory;
};

struct GraphicEntry {
  std::string name;
  std::string extensions;
  std::string description;
  GraphicFactory factory;
};

struct Registry {
  std::mutex mutex;
  std::vector<ClassEntry> classes;
  std::vector<GraphicEntry> graphics;
};

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;
    r->classes.push_back({"TImage", [] { return std::make_unique<TImage>(); }});
    r->classes.push_back({"TSSFileLocations", [] { return std::make_unique<TSSFileLocations>(); }});
    r->graphics.push_back({"TJPEGImage", "jpeg;jpg", "JPEG Image File",
                           [] { return std::make_unique<TJPEGImage>(); }});
    return r;
  }();
  return *registry;
}

}  // namespace

void RegisterClass(std::string name, ComponentFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.classes.push_back({std::move(name), std::move(factory)});
}

std::unique_ptr<TComponent> CreateRegisteredClass(std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const ClassEntry& e : r.classes) {
    if (SameText(e.name, name)) return e.factory();
  }
  return nullptr;
}

void RegisterGraphicClass(std::string name, std::string extensions, std::string description,
                          GraphicFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.graphics.push_back({std::move(name), std::move(extensions), std::move(description), std::move(factory)});
}

std::unique_ptr<TStreamableGraphic> CreateGraphicClass(std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const GraphicEntry& e : r.graphics) {
    if (e.name == name) return e.factory();
  }
  return nullptr;
}

}  // namespace slidesaver
