#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "payload/persistent.h"

namespace slidesaver {

class TStreamableGraphic;

// The class registry of component streams: class names, compared without
// regard to letter case, to the record types they create. "TImage" and
// "TSSFileLocations" are registered before first use.
using ComponentFactory = std::function<std::unique_ptr<TComponent>()>;
void RegisterClass(std::string name, ComponentFactory factory);
std::unique_ptr<TComponent> CreateRegisteredClass(std::string_view name);

// The graphic class list: names that picture data may carry, compared exactly.
// "TJPEGImage" ("jpeg", "jpg", "JPEG Image File") is registered before first use.
using GraphicFactory = std::function<std::unique_ptr<TStreamableGraphic>()>;
void RegisterGraphicClass(std::string name, std::string extensions, std::string description,
                          GraphicFactory factory);
std::unique_ptr<TStreamableGraphic> CreateGraphicClass(std::string_view name);

}  // namespace slidesaver
