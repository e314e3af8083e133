#include "app/preview.h"

#include <memory>
#include <optional>

#include "base/error.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "payload/graphics.h"
#include "payload/payload.h"
#include "payload/stream.h"
#include "system/signals.h"
#include "ui/app.h"
#include "ui/desktop.h"

namespace slidesaver {
namespace {

using State = HostWindow::State;
using Kind = HostWindow::Event::Kind;

// Lets the application, when there is one, handle what was queued for it.
void ProcessPendingMessages() {
  if (HasApplication()) Application().ProcessMessages();
}

// Blocks until the window is viewable; false when it went away first or the
// program is to end.
bool WaitUntilVisible(HostWindow& window) {
  for (;;) {
    if (TerminationRequested()) return false;
    const State state = window.Query();
    if (state == State::Viewable) return true;
    if (state == State::Gone) return false;
    ProcessPendingMessages();
    // Events were selected before the first look, so a change since then wakes this wait.
    window.Wait(Backend::kInfinite);
  }
}

// The first picture stretched to exactly `size`; nothing when the picture is empty.
std::optional<Bitmap> StretchPicture(TImage& image, TSize size) {
  TGraphic* graphic = image.Picture().Graphic();
  if (graphic == nullptr || graphic->Empty()) return std::nullopt;
  const Bitmap& pixels = graphic->Pixels();
  Bitmap stretched(size.cx, size.cy);
  StretchCopy(stretched, Rect(0, 0, size.cx, size.cy), pixels,
              Rect(0, 0, pixels.Width(), pixels.Height()));
  return stretched;
}

// Blocks while the window is viewable, drawing the picture again where the
// host exposes the window. Returns once it is hidden or gone, or the program
// is to end.
void ShowWhileVisible(HostWindow& window, const std::optional<Bitmap>& picture) {
  while (!TerminationRequested() && window.Query() == State::Viewable) {
    ProcessPendingMessages();
    for (const HostWindow::Event& event : window.Wait(Backend::kInfinite)) {
      if (event.kind == Kind::Destroyed) return;
      if (event.kind == Kind::Exposed && picture) window.Put(*picture, {&event.area, 1});
    }
  }
}

}  // namespace

void RunPreview(std::int32_t hostWindow, const std::string& executablePath,
                TerminationSignals* signals) {
  // X ids fit in 29 bits; the handle arrives as a signed 32-bit value.
  const auto id = static_cast<std::uint32_t>(hostWindow);
  const std::unique_ptr<HostWindow> window = AttachHostWindow(id);
  if (!window) {
    throw Error("Cannot draw a preview into window " + std::to_string(id) +
                ": the display cannot be opened or has no such window");
  }
  // A signal raises the termination flag; the wake makes the waits look at it.
  struct WakeOnSignal {
    TerminationSignals* signals;
    ~WakeOnSignal() {
      if (signals) signals->SetHandler(nullptr);
    }
  } wake{signals};
  if (signals) signals->SetHandler([&window] { window->Wake(); });
  if (!WaitUntilVisible(*window)) return;
  const TSize size = window->Size();

  InputStream file = InputStream::OpenFile(executablePath);
  const std::optional<std::int32_t> payloadSize = ReadTrailerField(file, 1);
  if (!payloadSize) throw Error("\"" + executablePath + "\" holds no show: it is shorter than a trailer");
  const std::int64_t start = PayloadStart(file, *payloadSize);

  std::optional<Bitmap> picture;
  {
    const std::unique_ptr<TImage> image = ReadComponentAs<TImage>(file, start);
    picture = StretchPicture(*image, size);
  }
  if (picture) {
    const TRect whole = Rect(0, 0, size.cx, size.cy);
    window->Put(*picture, {&whole, 1});
  }
  ShowWhileVisible(*window, picture);
}

}  // namespace slidesaver
