#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "payload/config.h"
#include "payload/graphics.h"
#include "payload/stream.h"
#include "saver/picture_deal.h"
#include "system/run_folder.h"
#include "system/saver_system.h"
#include "transition/transition_view.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/media_player.h"

namespace slidesaver {

// A picture as it appears on a screen: the pixels of it that are shown, at
// the size they are shown, and where their top-left corner lies; and, where it
// leaves part of the screen empty and the show fills that with a blur, the
// screen-sized backdrop behind it.
struct ScreenPlacement {
  Bitmap pixels;
  TPoint at;
  Bitmap backdrop;
};

// Places a picture centred on a screen, fitted as `fit` (a PictureFit value)
// says; only the part that lands on the screen is decoded. With `fill`
// kFillBlur, a picture that leaves part of the screen empty gets its
// backdrop. No picture places nothing.
ScreenPlacement PlacePicture(TGraphic* graphic, TSize screen, std::int32_t fit,
                             std::int32_t fill);
// Reads the picture stream at `offset` of a saver file and places its picture.
ScreenPlacement PlaceShowPicture(InputStream& file, std::int64_t offset, TSize screen,
                                 std::int32_t fit, std::int32_t fill);

// The picture a show changes to next, chosen at the change before: its index,
// the screen and fit it is placed for, and the worker placing it.
struct UpcomingPicture {
  std::int32_t index = 0;
  TSize screen;
  std::int32_t fit = 0;
  std::future<ScreenPlacement> placement;  // none: placed at the change
};

// The full-screen saver window. On its first activation it reads the show
// configuration from the payload of its executable, extracts the sounds,
// covers the primary screen in black, hides the cursor and, once the message
// queue has run empty, starts the slideshow. A key, a click or a clear mouse
// movement closes it.
//
// In a window of its own it also covers every other monitor with a window of
// the same class (a screen window): black, or with a show of its own where
// the show asks for every screen. Input on any of them closes the saver
// through this one; closing one closes them all. Monitors that come and go
// are followed, and when the primary one goes the show moves to the new one.
class TfrmScrn : public TForm {
 public:
  // `executablePath`: the file whose payload is shown. `system`: the desktop's
  // password check and running flag. `audio`: the sound device the music
  // plays on.
  explicit TfrmScrn(std::string executablePath,
                    std::unique_ptr<SaverSystem> system = PlatformSaverSystem(),
                    std::unique_ptr<AudioDevice> audio = CreateAudioDevice());
  // A screen window of `main` on the monitor at `screen`: a black cover, or
  // its own show when the configuration asks for a show on every screen.
  TfrmScrn(TfrmScrn& main, const TRect& screen);
  ~TfrmScrn() override;

  // Form handlers.
  void FormCreate(void* sender);
  void FormShow(void* sender);
  void FormActivate(void* sender);
  void FormKeyDown(void* sender, std::uint16_t& key, TShiftState shift);
  void FormMouseDown(void* sender, TMouseButton button, TShiftState shift, std::int32_t x,
                     std::int32_t y);
  void FormMouseMove(void* sender, TShiftState shift, std::int32_t x, std::int32_t y);
  void FormClose(void* sender, TCloseAction& action);
  void FormDestroy(void* sender);

  // Asks the desktop's password check, where the user has one, and closes the
  // window when the user may leave.
  void RequestClose();
  // The start message: shows the first picture, once.
  void WMStartShow();
  // The stop message: stops the slide timer and makes a close request.
  void WMStopShow();
  // The numbers of the two messages, for other programs that send them.
  static constexpr std::uint32_t kStartMessage = 0x400 + 1;
  static constexpr std::uint32_t kStopMessage = 0x400 + 2;
  // The application's idle hook while the window runs.
  void AppIdle(bool& done);

  // The slideshow: the slide timer's event and the first start message's action.
  void ShowNextPicture(void* sender);
  // Replaces the image's picture by a frame of the window's size: the picture
  // centred on black, fitted to the window as the show's PictureFit says, and
  // the caption along the bottom edge on every other call.
  // `picture`: its index in the show, for its own caption (none: -1).
  void ComposeScreenPicture(TImage& image, std::int32_t picture = -1);
  // The screen-sized frame of a placed picture, with the caption on every
  // other call.
  Bitmap ComposeScreen(ScreenPlacement placed, TSize screen, std::int32_t picture);
  // The picture's own caption, where the show draws them: its DescriptCommaList item.
  std::string PictureCaption(std::int32_t picture) const;
  // The window belongs to a screen-saver host (a daemon's window, a monitor,
  // the root window): there pictures as authored are shrunk to fit as well,
  // and the host owns the monitors.
  void SetInHostWindow(bool host) { inHostWindow_ = host; }

  // Covers the monitors as the backend reports them now: this window on the
  // primary one, a screen window on each other one.
  void ArrangeScreens();
  // The screen windows on the other monitors, in the order they came.
  const std::vector<std::unique_ptr<TfrmScrn>>& ScreenWindows() const { return screens_; }
  // The picture this window shows now; -1 before the first.
  std::int32_t ShownPicture() const { return shownIndex_; }

  // The sound files: copied from the payload into a run folder of this
  // window's own at start-up, deleted with it when the window is destroyed.
  // Sounds that cannot be copied (the folder cannot be made or written, a bad
  // name or block, more than the sounds may take) leave the music silent from
  // the first of them on, with one line on stderr; the show goes on.
  void ExtractSounds(InputStream& file);
  void DeleteSounds();
  // The music: starts the next track; the player's notify event.
  void PlayNextSound();
  void mpSaverNotify(void* sender);
  // The extracted file of sound `index`; empty before the run folder exists.
  std::string SoundPath(int index) const;
  // The run folder of the extracted sounds; null while there is none.
  const RunFolder* SoundFolder() const { return runFolder_.get(); }
  // How many sounds, from the first on, were extracted.
  int ExtractedSounds() const { return extractedSounds_; }

  // The sounds of a show take at most this many bytes, and at most half the
  // free space of the run folder's file system, so that no show fills the
  // folder for other programs.
  static constexpr std::int64_t kMaxSoundBytes = std::int64_t{256} << 20;

  // Child components.
  TTransitionView tvShow{this};
  TMediaPlayer mpSaver;

  // State, readable for tests.
  const TSSFileLocations& Configuration() const { return *configuration_; }
  TTimer& SlideTimer() { return *slideTimer_; }
  bool StartupPending() const { return startupPending_; }
  bool ShowStarted() const { return showStarted_; }
  bool CaptionToggle() const { return captionToggle_; }
  std::int32_t PictureIndex() const { return pictureIndex_; }
  std::int32_t SoundIndex() const { return soundIndex_; }
  TPoint LastMouse() const { return {lastMouseX_, lastMouseY_}; }

 private:
  // The two steps that give input back one full round after a refused check.
  void HoldInputOneRoundMore();
  void TakeInputAgain();
  // What both constructors set up: the form, its child and its handlers.
  void Initialize();
  // Calls `call` on the main thread later, unless this window is gone by then.
  void PostToSelf(void (TfrmScrn::*call)());
  // The executable file, opened on first use and held until the window dies:
  // a saver file replaced or deleted while it runs goes on showing its own
  // pictures.
  InputStream& ExecutableFile();
  // The index the next change shows (a random draw for a show in random order).
  // `now`: it shows at once, not at the next change.
  std::int32_t ChooseNextPicture(bool now);
  // The choice where every screen runs a show: the next in list order after
  // the last one any screen took, or a random one, but none that another
  // screen shows (`now`), and where it can be, none that it changes to next.
  std::int32_t ChooseAmongScreens(bool now);
  // Another screen's show has picture `index` on screen.
  bool ShownElsewhere(std::int32_t index);
  // A show on every screen (never in a host's window).
  bool EveryScreen() const;
  // The window that reads the music and owns the screen windows.
  TfrmScrn& MainWindow() { return main_ != nullptr ? *main_ : *this; }
  // This window and every screen window that runs a show.
  std::vector<TfrmScrn*> Shows();
  // Reads the show configuration from the executable's payload; false when
  // the file holds no show.
  bool ReadConfiguration();
  // A show that cannot start: a line on stderr; where the desktop shows such
  // failures (SaverSystem::ShowsStartFailures), one box with the reason, and
  // the program ends. `ends`: the program ends anyway.
  void StartFailed(const std::string& text, bool ends);
  // The window's client size; frames are composed for it.
  TSize ClientSize() const { return TSize{ClientWidth(), ClientHeight()}; }
  // Chooses the next picture and starts reading and placing it on a worker,
  // so that the next change only composes and animates it.
  void PrepareUpcoming(TSize screen, std::int32_t fit);
  // PictureFit as it applies to this window: host windows shrink pictures
  // shown as authored.
  std::int32_t ShownFit() const;
  // The main window's: the shuffled deal, resumed from the user's state
  // folder; and the picture a change shows taken from it, the deal kept.
  void StartDeal();
  void Dealt(std::int32_t index);
  bool Shuffled() const { return configuration_->lShuffle; }

  std::string executablePath_;
  std::unique_ptr<SaverSystem> system_;
  bool captionToggle_ = false;
  std::int32_t pictureIndex_ = 0;
  std::int32_t soundIndex_ = 0;
  std::unique_ptr<TTimer> slideTimer_;
  std::int32_t lastMouseX_ = -1;
  std::int32_t lastMouseY_ = -1;
  bool showStarted_ = false;
  std::unique_ptr<TSSFileLocations> configuration_;
  bool startupPending_ = true;
  // Start-up failed in a way that ends the program.
  bool startFailed_ = false;
  std::optional<InputStream> file_;
  std::unique_ptr<RunFolder> runFolder_;
  int extractedSounds_ = 0;
  // A start message is queued and has not run yet.
  bool startPosted_ = false;
  // Between the running flag set at start-up and FormClose.
  bool running_ = false;
  bool inHostWindow_ = false;
  std::shared_ptr<TfrmScrn*> self_ = std::make_shared<TfrmScrn*>(this);
  // The picture the next change shows, chosen at the last change. Declared
  // after the file its worker reads, so that it is waited for first.
  std::optional<UpcomingPicture> upcoming_;
  std::int32_t shownIndex_ = -1;
  // The picture before it, on screen while the transition takes it away.
  std::int32_t leavingIndex_ = -1;
  // The size the shown frame was composed for.
  TSize composedFor_;
  // Screen windows: the main window, or null for the main window itself.
  TfrmScrn* main_ = nullptr;
  // The main window's: the screen windows, those whose monitor went (deleted
  // when the message loop is idle, never inside one of their own calls), a
  // change of the monitors to look at when idle, and where list order goes
  // on where every screen runs a show.
  std::vector<std::unique_ptr<TfrmScrn>> screens_;
  std::vector<std::unique_ptr<TfrmScrn>> retired_;
  bool screensChanged_ = false;
  // Input is dropped: it arrived while a refused password check was open.
  bool inputHeld_ = false;
  std::int32_t nextInList_ = 0;
  PictureDeal deal_;
  std::string dealFile_;  // empty: the deal is not kept
};

// The process-wide count of mouse-move events the saver window still ignores.
std::int32_t& IgnoredMoves();

// The size a picture is shown at on a screen under a PictureFit value of the
// show configuration (unknown values show it as authored); the aspect is kept.
TSize FittedPictureSize(TSize picture, TSize screen, std::int32_t fit);

}  // namespace slidesaver
