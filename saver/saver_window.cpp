#include "saver/saver_window.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "base/error.h"
#include "base/random.h"
#include "payload/payload.h"
#include "setup/settings.h"
#include "system/files.h"

namespace slidesaver {
namespace {

// The design size of the window, seen only until start-up covers the screen.
constexpr std::int32_t kDesignClientWidth = 195;
constexpr std::int32_t kDesignClientHeight = 126;
// Mouse moves ignored after a close request, such as those a password
// dialog causes when it appears and disappears.
constexpr std::int32_t kMovesIgnoredAfterRequest = 5;
// A move closes the window when it leaves this band around the reference
// position on both axes.
constexpr std::int32_t kMoveTolerance = 2;

}  // namespace

std::int32_t& IgnoredMoves() {
  static std::int32_t count = 0;
  return count;
}

TfrmScrn::TfrmScrn(std::string executablePath, std::unique_ptr<SaverSystem> system,
                   std::unique_ptr<AudioDevice> audio)
    : mpSaver(std::move(audio)),
      executablePath_(std::move(executablePath)),
      system_(std::move(system)) {
  mpSaver.OnNotify = [this](void* s) { mpSaverNotify(s); };
  const TSize screen = Application().Platform().ScreenSize();
  SetBounds((screen.cx - kDesignClientWidth) / 2, (screen.cy - kDesignClientHeight) / 2,
            kDesignClientWidth, kDesignClientHeight);
  Initialize();
}

// A screen window plays no music and asks no password: the main window does.
TfrmScrn::TfrmScrn(TfrmScrn& main, const TRect& screen)
    : mpSaver(nullptr), executablePath_(main.executablePath_), main_(&main) {
  SetBoundsRect(screen);
  SetColor(clBlack);
  Initialize();
}

void TfrmScrn::Initialize() {
  BorderStyle = TFormBorderStyle::bsNone;

  tvShow.SetAlign(TAlign::alClient);
  tvShow.SetCenter(true);
  tvShow.SetStretch(true);
  tvShow.SetThreaded(false);
  tvShow.OnMouseMove = [this](void* s, TShiftState sh, std::int32_t x, std::int32_t y) {
    FormMouseMove(s, sh, x, y);
  };
  tvShow.OnMouseDown = [this](void* s, TMouseButton b, TShiftState sh, std::int32_t x,
                              std::int32_t y) { FormMouseDown(s, b, sh, x, y); };

  OnShow = [this](void* s) { FormShow(s); };
  OnActivate = [this](void* s) { FormActivate(s); };
  OnKeyDown = [this](void* s, std::uint16_t& key, TShiftState sh) { FormKeyDown(s, key, sh); };
  OnMouseDown = tvShow.OnMouseDown;
  OnMouseMove = tvShow.OnMouseMove;
  OnClose = [this](void* s, TCloseAction& action) { FormClose(s, action); };
  OnMessage = [this](std::uint32_t message) {
    if (message == kStartMessage) WMStartShow();
    if (message == kStopMessage) WMStopShow();
  };
  FormCreate(this);
}

TfrmScrn::~TfrmScrn() {
  BeginDestroy();
  *self_ = nullptr;
  screens_.clear();
  retired_.clear();
  // A run that ends without closing the window (an unreadable show, the
  // program told to end) still gives back the running flag and the cursor.
  if (running_ && HasApplication()) {
    TCloseAction action = TCloseAction::caHide;
    FormClose(this, action);
  }
  FormDestroy(this);
  if (main_ == nullptr && HasApplication()) {
    // The hooks must not outlive the window they call.
    Application().OnIdle = nullptr;
    Application().OnScreensChanged = nullptr;
  }
}

void TfrmScrn::FormCreate(void*) {
  startupPending_ = true;
  slideTimer_ = std::make_unique<TTimer>();
  slideTimer_->SetEnabled(false);
  pictureIndex_ = 0;
  soundIndex_ = 0;
  configuration_ = std::make_unique<TSSFileLocations>();
  captionToggle_ = false;
}

// Linux desktops have no task-bar window of the application to hide.
// A screen window leaves the keyboard focus with the main window.
void TfrmScrn::FormShow(void*) {
  if (main_ == nullptr) return;
  if (WindowHandle* handle = Handle()) handle->SetNoActivate();
}

InputStream& TfrmScrn::ExecutableFile() {
  if (!file_) {
    // A screen window reads the main window's open file through a stream of its own, so
    // that the read-ahead workers of two shows never share a position.
    if (main_ != nullptr) {
      file_.emplace(main_->ExecutableFile().Another());
    } else {
      file_.emplace(InputStream::OpenFile(executablePath_));
    }
  }
  return *file_;
}

bool TfrmScrn::ReadConfiguration() {
  InputStream& file = ExecutableFile();
  const std::optional<std::int32_t> configOffset =
      ReadTrailerField(file, 1) ? ReadTrailerField(file, 2) : std::nullopt;
  if (!configOffset) {
    file_.reset();  // the next activation looks at the file afresh
    StartFailed("\"" + executablePath_ + "\" holds no show: it is shorter than a trailer", false);
    return false;
  }
  try {
    ReadComponentAt(file, *configOffset, *configuration_);
    slideTimer_->SetInterval(static_cast<std::uint32_t>(configuration_->Interval()));
    slideTimer_->OnTimer = [this] { ShowNextPicture(nullptr); };
  } catch (const std::exception& e) {
    // An unreadable configuration ends the program at the next turn of
    // the message loop; start-up carries on with what the record holds.
    StartFailed(std::string("Cannot read the show in \"") + executablePath_ + "\": " + e.what(), true);
  }
  return true;
}

void TfrmScrn::StartFailed(const std::string& text, bool ends) {
  if (main_ != nullptr) return;  // the main window has told it already
  ReportToStderr(text);
  if (!inHostWindow_ && system_->ShowsStartFailures()) {
    // One box, and the program ends: no window stays behind that no show will ever fill.
    Application().Platform().ShowErrorBox(Application().Title, text + ".");
    ends = true;
  }
  if (ends) {
    startFailed_ = true;
    Application().Terminate();
  }
}

void TfrmScrn::FormActivate(void*) {
  // After a failure that ends the program, an activation meanwhile (the box closing) starts
  // nothing.
  if (!startupPending_ || startFailed_) return;
  if (main_ != nullptr) {
    // A screen window: the main window has read the show and started the music.
    if (!ReadConfiguration()) return;
    startupPending_ = false;
    lastMouseX_ = -1;
    lastMouseY_ = -1;
    MakeTopmost();
    return;
  }
  try {
    if (!ReadConfiguration()) return;
    InputStream& file = ExecutableFile();
    ExtractSounds(file);
    configuration_->lMute =
        ReadMuteSetting(SettingsFilePath(executablePath_), configuration_->lMute);
    if (configuration_->SoundRandom() == 3) {
      soundIndex_ = Random(configuration_->GetSndCount());
    }
    if (Shuffled()) StartDeal();
    PlayNextSound();
  } catch (const std::exception&) {
    // The framework's handler tells the user, once: trying again at the next activation would
    // bring the same failure back, with a box whose closing activates the window again.
    startFailed_ = true;
    Application().Terminate();
    throw;
  }
  startupPending_ = false;
  SetColor(clBlack);
  SetBoundsRect(PrimaryScreenBounds(Application().Platform().Screens()));
  lastMouseX_ = -1;
  lastMouseY_ = -1;
  Application().OnIdle = [this](bool& done) { AppIdle(done); };
  MakeTopmost();
  system_->SetScreenSaverRunning(true);
  Application().Platform().ShowCursor(false);
  running_ = true;
  Show();
  if (!inHostWindow_) {
    if (WindowHandle* handle = Handle()) handle->GrabInput();
    Application().OnScreensChanged = [this] { screensChanged_ = true; };
    ArrangeScreens();
  }
}

void TfrmScrn::AppIdle(bool&) {
  // Here no window of the saver is inside a call of its own: monitors that
  // changed are followed, and windows whose monitor went are deleted.
  retired_.clear();
  if (std::exchange(screensChanged_, false)) ArrangeScreens();
  for (TfrmScrn* show : Shows()) {
    // A window that the window system gave another size shows its next picture composed for it.
    if (show->showStarted_ && show->composedFor_ != show->ClientSize()) {
      show->ShowNextPicture(nullptr);
    }
  }
  // Only the first start message has an effect; posting more would keep the
  // queue from ever running empty and spin a processor core for the whole run.
  if (showStarted_ || startPosted_) return;
  startPosted_ = true;
  PostToSelf(&TfrmScrn::WMStartShow);
}

void TfrmScrn::ArrangeScreens() {
  std::vector<Screen> screens = Application().Platform().Screens();
  const TRect primary = PrimaryScreenBounds(screens);
  if (primary.IsEmpty()) return;
  SetBoundsRect(primary);
  std::vector<TRect> others;
  for (const Screen& screen : screens) {
    const TRect& r = screen.bounds;
    if (r.IsEmpty() || r == primary || std::find(others.begin(), others.end(), r) != others.end()) {
      continue;
    }
    others.push_back(r);
  }
  // Windows whose monitor went leave the screen now and the memory when the loop is idle.
  for (auto it = screens_.begin(); it != screens_.end();) {
    const auto found = std::find(others.begin(), others.end(), (*it)->BoundsRect());
    if (found != others.end()) {
      others.erase(found);
      ++it;
      continue;
    }
    (*it)->Hide();
    retired_.push_back(std::move(*it));
    it = screens_.erase(it);
  }
  for (const TRect& r : others) {
    TfrmScrn& window = *screens_.emplace_back(std::make_unique<TfrmScrn>(*this, r));
    window.Show();
    if (showStarted_ && EveryScreen()) window.PostToSelf(&TfrmScrn::WMStartShow);
  }
}

std::vector<TfrmScrn*> TfrmScrn::Shows() {
  TfrmScrn& main = MainWindow();
  std::vector<TfrmScrn*> shows{&main};
  if (main.EveryScreen()) {
    for (const auto& window : main.screens_) shows.push_back(window.get());
  }
  return shows;
}

bool TfrmScrn::EveryScreen() const {
  return !inHostWindow_ && configuration_ &&
         configuration_->Screens() == TSSFileLocations::kScreensEvery;
}

void TfrmScrn::PostToSelf(void (TfrmScrn::*call)()) {
  Application().PostMessage([self = std::weak_ptr<TfrmScrn*>(self_), call] {
    const std::shared_ptr<TfrmScrn*> window = self.lock();
    if (window && *window != nullptr) ((*window)->*call)();
  });
}

void TfrmScrn::WMStartShow() {
  startPosted_ = false;
  if (showStarted_) return;
  if (main_ == nullptr && EveryScreen()) {
    // Every screen's first picture is chosen before any shows, so that no two are the same.
    for (TfrmScrn* show : Shows()) {
      if (!show->upcoming_ && show->configuration_->GetPicCount() > 0) {
        show->upcoming_.emplace().index = show->ChooseNextPicture(true);
      }
    }
    for (const auto& window : screens_) window->PostToSelf(&TfrmScrn::WMStartShow);
  }
  showStarted_ = true;
  ShowNextPicture(nullptr);
}

void TfrmScrn::WMStopShow() {
  slideTimer_->SetEnabled(false);
  RequestClose();
}

void TfrmScrn::FormKeyDown(void*, std::uint16_t&, TShiftState) {
  if (!MainWindow().inputHeld_) MainWindow().RequestClose();
}

void TfrmScrn::FormMouseDown(void*, TMouseButton, TShiftState, std::int32_t, std::int32_t) {
  if (!MainWindow().inputHeld_) MainWindow().RequestClose();
}

void TfrmScrn::FormMouseMove(void*, TShiftState, std::int32_t x, std::int32_t y) {
  if (MainWindow().inputHeld_) return;
  std::int32_t& ignored = IgnoredMoves();
  if (ignored > 0) {
    --ignored;
    return;
  }
  if (lastMouseX_ == -1 && lastMouseY_ == -1) {
    lastMouseX_ = x;
    lastMouseY_ = y;
    return;
  }
  const std::int64_t dx = std::llabs(static_cast<std::int64_t>(x) - lastMouseX_);
  const std::int64_t dy = std::llabs(static_cast<std::int64_t>(y) - lastMouseY_);
  if (dx > kMoveTolerance && dy > kMoveTolerance) {
    lastMouseX_ = x;
    lastMouseY_ = y;
    MainWindow().RequestClose();
  }
}

void TfrmScrn::RequestClose() {
  IgnoredMoves() = kMovesIgnoredAfterRequest;
  bool mayLeave = true;
  if (system_->HasSaverSettings()) {
    Backend& platform = Application().Platform();
    platform.ShowCursor(true);
    try {
      if (system_->UsePasswordSetting() != 0) {
        const WindowHandle* handle = Handle();
        mayLeave = system_->VerifyPassword(handle != nullptr ? handle->Native() : 0);
      }
    } catch (const std::exception&) {
      mayLeave = true;  // no usable check: the user may leave
    }
    platform.ShowCursor(false);
  }
  if (mayLeave) {
    Close();
  } else if (!screens_.empty()) {
    // The check blocks the main window only: clicks and moves on the other monitors' windows
    // while it was open reach them with the next round of the message loop. They were meant
    // for the check and are dropped, not taken for a new request.
    inputHeld_ = true;
    PostToSelf(&TfrmScrn::HoldInputOneRoundMore);
  }
}

void TfrmScrn::HoldInputOneRoundMore() {
  // Calls posted while the loop handles input run in the same round; this one runs in the next.
  PostToSelf(&TfrmScrn::TakeInputAgain);
}

void TfrmScrn::TakeInputAgain() { inputHeld_ = false; }

void TfrmScrn::FormClose(void*, TCloseAction&) {
  if (main_ != nullptr) {
    // Closing one of the saver's windows closes them all.
    main_->Close();
    return;
  }
  for (const auto& window : screens_) window->Hide();
  Application().OnScreensChanged = nullptr;
  running_ = false;
  system_->SetScreenSaverRunning(false);
  Application().OnIdle = nullptr;
  Backend& platform = Application().Platform();
  platform.ReleaseCapture();
  platform.ShowCursor(true);
}

void TfrmScrn::FormDestroy(void*) {
  if (main_ != nullptr) return;  // no music, no sounds
  // The device lets go of the playing file first: Windows deletes no file
  // that is still open.
  try {
    mpSaver.SetNotify(false);
    mpSaver.Close();
  } catch (const std::exception&) {
    // Then the file stays behind; nothing else depends on it.
  }
  DeleteSounds();
  configuration_.reset();
}

std::string TfrmScrn::SoundPath(int index) const {
  return runFolder_ ? runFolder_->PathOf(configuration_->GetSndFileName(index)) : std::string();
}

void TfrmScrn::ExtractSounds(InputStream& file) {
  extractedSounds_ = 0;
  const int count = configuration_->GetSndCount();
  if (count == 0) return;
  std::string name;
  try {
    if (!runFolder_) runFolder_ = RunFolder::Create();
    const std::int64_t budget = std::min(kMaxSoundBytes, runFolder_->FreeBytes() / 2);
    std::int64_t total = 0;
    for (int i = 0; i < count; ++i) {
      name = configuration_->GetSndFileName(i);
      // A name with a folder part would write, and later delete, a file
      // outside the run folder.
      if (!IsPlainFileName(name)) throw Error("Invalid sound file name");
      const std::int64_t size = configuration_->GetSndSize(i);
      if (size > budget - total) {
        throw Error("the sounds may take at most " + std::to_string(budget >> 20) + " MB in " +
                    runFolder_->Path());
      }
      // The folder is this window's own: an earlier sound of the same name is
      // replaced, nothing else can be there.
      runFolder_->RemoveFile(name);
      CopyBlock(file, configuration_->GetSndOffset(i), size, runFolder_->PathOf(name));
      total += size;
      extractedSounds_ = i + 1;
    }
  } catch (const std::exception& e) {
    ReportToStderr("The music stops before sound " + std::to_string(extractedSounds_ + 1) +
                   (name.empty() ? std::string() : " \"" + name + "\"") + ": " + e.what());
  }
}

void TfrmScrn::PlayNextSound() {
  const int count = configuration_->GetSndCount();
  if (count == 0 || configuration_->lMute) return;
  if (soundIndex_ > count - 1) soundIndex_ = 0;
  if (configuration_->SoundRandom() == 2) soundIndex_ = Random(count);
  // A sound that was not extracted cannot be played: the music ends there, as
  // with a track that fails to open.
  if (soundIndex_ < extractedSounds_) {
    mpSaver.FileName = SoundPath(soundIndex_);
    try {
      mpSaver.Open();
      mpSaver.Play();
    } catch (const std::exception&) {
      // A track that cannot be played ends the music; nothing to tell the user.
    }
  }
  mpSaver.SetNotify(true);
  if (configuration_->SoundRandom() != 3) ++soundIndex_;
}

void TfrmScrn::mpSaverNotify(void*) {
  if (mpSaver.Mode() == TMPModes::mpPlaying) return;
  mpSaver.Stop();
  mpSaver.SetNotify(false);
  PlayNextSound();
}

void TfrmScrn::DeleteSounds() {
  // The extracted sounds go with the run folder that holds them, whatever
  // cannot be deleted of them too.
  runFolder_.reset();
}

}  // namespace slidesaver
