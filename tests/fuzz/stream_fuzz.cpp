// Feeds arbitrary bytes to the component stream reader. Whatever it accepts as
// a configuration record must survive writing and reading back unchanged.

#include <cstdint>
#include <cstdlib>

#include "base/error.h"
#include "payload/config.h"
#include "payload/graphics.h"
#include "payload/reader.h"
#include "payload/writer.h"

using namespace slidesaver;

namespace {

// Empty texts are not stored, so they read back as the property's default.
bool SameValue(const TPersistent& a, const TPersistent& b, const PropInfo& p) {
  const PropValue value = p.get(a);
  const auto* text = std::get_if<std::string>(&value);
  return (text != nullptr && text->empty()) || value == p.get(b);
}

bool SameRecord(const TSSFileLocations& a, const TSSFileLocations& b) {
  for (const PropInfo& p : a.Properties()) {
    if (p.type != PropType::Object && !SameValue(a, b, p)) return false;
  }
  for (const PropInfo& p : a.TextFont().Properties()) {
    if (!SameValue(a.TextFont(), b.TextFont(), p)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputStream in(std::span<const std::uint8_t>(data, size));
  std::unique_ptr<TComponent> component;
  try {
    component = ComponentReader(in).ReadComponent();
  } catch (const Error&) {
    return 0;
  }
  if (auto* config = dynamic_cast<TSSFileLocations*>(component.get())) {
    for (int i = 0; i < config->GetSndCount(); ++i) {
      try {
        config->GetSndOffset(i);
        config->GetSndFileName(i);
        config->GetSndSize(i);
      } catch (const Error&) {
      }
    }
    config->SetName("");
    const auto bytes = WriteComponentStream(*config);
    InputStream again(bytes);
    auto back = ComponentReader(again).ReadComponent();
    if (!SameRecord(*config, static_cast<TSSFileLocations&>(*back))) __builtin_trap();
  } else if (auto* image = dynamic_cast<TImage*>(component.get())) {
    TGraphic* graphic = image->Picture().Graphic();
    if (graphic && !graphic->Empty() && graphic->Width() * graphic->Height() <= 256 * 256) {
      try {
        graphic->Pixels();
      } catch (const Error&) {
      }
    }
  }
  return 0;
}
