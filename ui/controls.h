#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "graphics/color.h"
#include "graphics/region.h"
#include "ui/app.h"

namespace slidesaver {

class TForm;

enum class TAlign { alNone, alClient };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
// bsNone: no frame or title bar; bsDialog: a fixed-size frame with a title bar.
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };

using TNotifyEvent = std::function<void(void* sender)>;
using TMouseEvent = std::function<void(void* sender, TMouseButton button, TShiftState shift,
                                       std::int32_t x, std::int32_t y)>;
using TMouseMoveEvent =
    std::function<void(void* sender, TShiftState shift, std::int32_t x, std::int32_t y)>;
using TKeyEvent = std::function<void(void* sender, std::uint16_t& key, TShiftState shift)>;

// Something on screen with bounds in its parent's client coordinates.
class TControl {
 public:
  virtual ~TControl() = default;

  std::int32_t Left() const { return bounds_.Left; }
  std::int32_t Top() const { return bounds_.Top; }
  std::int32_t Width() const { return bounds_.Width(); }
  std::int32_t Height() const { return bounds_.Height(); }
  TRect BoundsRect() const { return bounds_; }
  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  std::int32_t ClientWidth() const { return bounds_.Width(); }
  std::int32_t ClientHeight() const { return bounds_.Height(); }
  void SetClientSize(std::int32_t width, std::int32_t height);
  TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }

  TColor Color() const;
  void SetColor(TColor color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value) { parentColor_ = value; }
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  // The form this control shows in (itself for a form).
  virtual TForm* ParentForm() = 0;

  // Marks the whole control for repainting, without erasing.
  void Invalidate();
  // Repaints what is invalid in the control's window now.
  void Update();
  void Repaint() {
    Invalidate();
    Update();
  }

  // The platform's paint message: by default it calls Paint.
  virtual void PaintMessage(TCanvas& canvas) { Paint(canvas); }
  virtual void Paint(TCanvas& canvas) {}
  // Called after the size changed.
  virtual void Resized() {}

  // Input in the control's client coordinates.
  virtual void MouseDown(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y);
  virtual void MouseMove(TShiftState shift, std::int32_t x, std::int32_t y);
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // True while the destructor of the most derived class runs.
  bool Destroying() const { return destroying_; }

 protected:
  void BeginDestroy() { destroying_ = true; }
  // After SetBounds changed the bounds; by default runs Resized on a size change.
  virtual void BoundsChanged(const TRect& old);
  TRect bounds_{0, 0, 0, 0};
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  TAlign align_ = TAlign::alNone;
  bool destroying_ = false;
};

// A control without a window of its own: it paints into its form's surface
// through a canvas whose origin is the control's top-left corner.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TForm* parent);
  ~TGraphicControl() override;

  TForm* Parent() const { return parent_; }
  TForm* ParentForm() override { return parent_; }
  // Invalidates a rectangle of the parent's client area, without erasing.
  void InvalidateParentRect(const TRect& r);
  // The surface this control paints on (the form's canvas, its origin at
  // the control while painting).
  TCanvas& Canvas();

  void SetVisible(bool visible) override;
  // When set, the parent does not fill the area behind the control.
  bool Opaque = false;

  // Paints the whole control into a bitmap of its size that it holds, and returns it; none
  // when the control paints only onto a canvas, or cannot paint now. A form that shows nothing
  // but this control presents that bitmap as it is, without a surface of its own.
  virtual const Bitmap* PaintToBitmap() { return nullptr; }
  // What the last PaintToBitmap painted, as the control holds it now.
  virtual const Bitmap* PaintedBitmap() const { return nullptr; }

 protected:
  void BoundsChanged(const TRect& old) override;

 private:
  friend class TForm;
  TForm* parent_;
};

// A top-level window with an in-memory surface that children paint into.
class TForm : public TControl {
 public:
  TForm();
  ~TForm() override;

  TForm* ParentForm() override { return this; }
  void SetVisible(bool visible) override;
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Asks OnCloseQuery and OnClose; caHide or caFree hides the form, and
  // closing the main form ends the application's run loop.
  void Close();

  std::string Caption;
  // Decides the window's frame when it is first shown.
  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
  // Keeps the window above all ordinary windows from now on.
  void MakeTopmost();
  // The form received the input focus: runs OnActivate.
  void Activate();
  TCanvas& Canvas() {
    EnsureSurface();
    return canvas_;
  }
  // What the form shows: its surface, or the bitmap of the child it presented as it is.
  const Bitmap& Surface() const;

  void InvalidateRect(const TRect& r);
  bool HasInvalidArea() const { return !invalid_.Empty(); }
  // Paints the invalid area now: the form's own Paint, then every visible
  // child over it, then presents the painted rectangles.
  void PaintInvalid();

  void AddChild(TGraphicControl* child);
  void RemoveChild(TGraphicControl* child);
  const std::vector<TGraphicControl*>& Children() const { return children_; }

  // The window system gave the window this client size: the form takes it
  // without resizing the window back.
  void WindowResized(std::int32_t width, std::int32_t height);
  // Routes one input event (form client coordinates) to the control under it.
  void HandleInput(const InputEvent& e);
  WindowHandle* Handle() { return handle_.get(); }

  void Paint(TCanvas& canvas) override;
  void Resized() override;

  TKeyEvent OnKeyDown;
  std::function<void(void* sender, bool& canClose)> OnCloseQuery;
  std::function<void(void* sender, TCloseAction& action)> OnClose;
  // OnShow runs when the form becomes visible, OnActivate right after it and
  // whenever the window gets the input focus again.
  TNotifyEvent OnShow;
  TNotifyEvent OnActivate;
  TNotifyEvent OnPaint;
  TNotifyEvent OnResize;
  // A message of the application's own range (from WM_USER on) that another
  // program sent to the form's window.
  std::function<void(std::uint32_t message)> OnMessage;

 protected:
  void BoundsChanged(const TRect& old) override;

 private:
  TControl* ControlAt(std::int32_t x, std::int32_t y);
  void SetHover(TControl* control);
  void Realign();
  void SizeChanged(const TRect& old);
  // Gives the surface the form's size again after a paint presented a child's bitmap instead.
  void EnsureSurface();

  // Made by the first paint that needs it.
  Bitmap surface_;
  // The child whose bitmap the last paint presented; the surface is then released.
  TGraphicControl* presentedChild_ = nullptr;
  TCanvas canvas_{surface_};
  Region invalid_;
  std::vector<TGraphicControl*> children_;
  std::unique_ptr<WindowHandle> handle_;
  TControl* hover_ = nullptr;
};

}  // namespace slidesaver
