#include "ui/controls.h"

#include <algorithm>

namespace slidesaver {

void TControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width,
                         std::int32_t height) {
  const TRect r = Bounds(left, top, std::max(width, 0), std::max(height, 0));
  if (r == bounds_) return;
  const TRect old = bounds_;
  bounds_ = r;
  BoundsChanged(old);
}

void TControl::BoundsChanged(const TRect& old) {
  if (old.Width() != bounds_.Width() || old.Height() != bounds_.Height()) Resized();
}

void TControl::SetClientSize(std::int32_t width, std::int32_t height) {
  SetBounds(Left(), Top(), width, height);
}

TColor TControl::Color() const {
  TForm* form = const_cast<TControl*>(this)->ParentForm();
  if (parentColor_ && form != nullptr && form != this) return form->Color();
  return color_;
}

void TControl::SetColor(TColor color) {
  parentColor_ = false;
  if (color == color_) return;
  color_ = color;
  Invalidate();
}

void TControl::SetVisible(bool visible) { visible_ = visible; }

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  if (TForm* form = ParentForm(); form != nullptr && form != this) form->Resized();
}

void TControl::Invalidate() {
  TForm* form = ParentForm();
  if (form == nullptr) return;
  TRect r = BoundsRect();
  if (form == this) r = ClientRect();
  form->InvalidateRect(r);
}

void TControl::Update() {
  TForm* form = ParentForm();
  if (form != nullptr && form->Visible()) form->PaintInvalid();
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, std::int32_t x, std::int32_t y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
  if (button == TMouseButton::mbLeft && ClientRect().Contains(x, y) && OnClick) OnClick(this);
}

void TControl::MouseMove(TShiftState shift, std::int32_t x, std::int32_t y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

TGraphicControl::TGraphicControl(TForm* parent) : parent_(parent) {
  parentColor_ = true;
  if (parent_ != nullptr) parent_->AddChild(this);
}

TGraphicControl::~TGraphicControl() {
  if (parent_ != nullptr) parent_->RemoveChild(this);
}

void TGraphicControl::InvalidateParentRect(const TRect& r) {
  if (parent_ != nullptr && visible_) parent_->InvalidateRect(r);
}

TCanvas& TGraphicControl::Canvas() { return parent_->Canvas(); }

void TGraphicControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (parent_ != nullptr) parent_->InvalidateRect(bounds_);
}

void TGraphicControl::BoundsChanged(const TRect& old) {
  if (parent_ != nullptr && visible_) {
    parent_->InvalidateRect(old);
    parent_->InvalidateRect(bounds_);
  }
  TControl::BoundsChanged(old);
}

TForm::TForm() {
  color_ = clBtnFace;
  visible_ = false;
  Application().AddForm(this);
}

TForm::~TForm() {
  for (TGraphicControl* child : children_) child->parent_ = nullptr;
  if (HasApplication()) Application().RemoveForm(this);
}

void TForm::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible_) {
    if (!handle_) handle_ = Application().Platform().CreateWindowHandle(*this);
    handle_->SetCaption(Caption);
    handle_->SetBounds(bounds_);
    if (OnShow) OnShow(this);
    handle_->Show();
    Invalidate();
    Activate();
  } else if (handle_) {
    handle_->Hide();
    SetHover(nullptr);
  }
}

void TForm::MakeTopmost() {
  if (handle_) handle_->SetTopmost();
}

void TForm::Activate() {
  if (visible_ && OnActivate) OnActivate(this);
}

void TForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::caNone) return;
  Hide();
  if (HasApplication() && Application().MainForm == this) Application().Terminate();
}

void TForm::InvalidateRect(const TRect& r) {
  const TRect cut = IntersectRect(r, ClientRect());
  if (!cut.IsEmpty()) invalid_ = invalid_.Union(Region::FromRect(cut));
}

void TForm::PaintInvalid() {
  if (invalid_.Empty()) return;
  const Region area = invalid_.Intersect(Region::FromRect(ClientRect()));
  invalid_ = Region();
  if (area.Empty() || !visible_) return;

  struct CanvasReset {
    TCanvas& canvas;
    ~CanvasReset() {
      canvas.RemoveClip();
      canvas.SetOrigin({0, 0});
    }
  } reset{canvas_};

  // A child that covers the whole client area and paints into a bitmap of its own is presented
  // from that bitmap: the surface would be a plain copy of it.
  if (handle_ && children_.size() == 1) {
    TGraphicControl* child = children_.front();
    const Bitmap* image = child->Visible() && child->Opaque && child->BoundsRect() == ClientRect()
                              ? child->PaintToBitmap()
                              : nullptr;
    if (image != nullptr && image->Width() == Width() && image->Height() == Height()) {
      presentedChild_ = child;
      surface_ = Bitmap();
      handle_->Present(*image, area.Rects());
      return;
    }
  }
  EnsureSurface();

  // The form's own paint covers only what no opaque child paints over.
  Region own = area;
  for (TGraphicControl* child : children_) {
    if (child->Visible() && child->Opaque) {
      const TRect covered = IntersectRect(child->BoundsRect(), ClientRect());
      own = own.Intersect(Region::FromRect(ClientRect()).Xor(Region::FromRect(covered)));
    }
  }
  canvas_.SetOrigin({0, 0});
  canvas_.RemoveClip();
  if (!own.Empty()) {
    canvas_.IntersectClip(own);
    Paint(canvas_);
  }
  for (TGraphicControl* child : children_) {
    const TRect b = child->BoundsRect();
    if (!child->Visible() || b.IsEmpty()) continue;
    const Region part = area.Intersect(Region::FromRect(b));
    if (part.Empty()) continue;
    canvas_.RemoveClip();
    canvas_.SetOrigin({b.Left, b.Top});
    canvas_.IntersectClip(part.Offset(-b.Left, -b.Top));
    child->PaintMessage(canvas_);
  }
  if (handle_) handle_->Present(surface_, area.Rects());
}

void TForm::EnsureSurface() {
  presentedChild_ = nullptr;
  if (surface_.Width() != Width() || surface_.Height() != Height()) {
    surface_.Resize(Width(), Height(), ColorToRGB(Color()));
  }
}

const Bitmap& TForm::Surface() const {
  if (presentedChild_ != nullptr) {
    if (const Bitmap* image = presentedChild_->PaintedBitmap()) return *image;
  }
  return surface_;
}

void TForm::Paint(TCanvas& canvas) {
  canvas.SetBrushColor(Color());
  canvas.FillRect(ClientRect());
  if (OnPaint) OnPaint(this);
}

void TForm::BoundsChanged(const TRect& old) {
  if (handle_) handle_->SetBounds(bounds_);
  SizeChanged(old);
}

void TForm::WindowResized(std::int32_t width, std::int32_t height) {
  const TRect old = bounds_;
  bounds_ = Bounds(Left(), Top(), std::max(width, 0), std::max(height, 0));
  SizeChanged(old);
}

void TForm::SizeChanged(const TRect& old) {
  if (old.Width() != bounds_.Width() || old.Height() != bounds_.Height()) {
    if (presentedChild_ == nullptr && !surface_.Empty()) {
      surface_.Resize(Width(), Height(), ColorToRGB(Color()));
    }
    Resized();
  }
}

void TForm::Resized() {
  Realign();
  if (OnResize) OnResize(this);
  Invalidate();
}

void TForm::Realign() {
  for (TGraphicControl* child : children_) {
    if (child->Align() == TAlign::alClient) child->SetBoundsRect(ClientRect());
  }
}

void TForm::AddChild(TGraphicControl* child) {
  children_.push_back(child);
  if (child->Align() == TAlign::alClient) child->SetBoundsRect(ClientRect());
}

void TForm::RemoveChild(TGraphicControl* child) {
  if (presentedChild_ == child) EnsureSurface();
  std::erase(children_, child);
  if (hover_ == child) hover_ = nullptr;
  InvalidateRect(child->BoundsRect());
}

TControl* TForm::ControlAt(std::int32_t x, std::int32_t y) {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    TGraphicControl* c = *it;
    if (c->Visible() && c->Enabled() && c->BoundsRect().Contains(x, y)) return c;
  }
  return this;
}

void TForm::SetHover(TControl* control) {
  if (control == hover_) return;
  TControl* old = hover_;
  hover_ = control;
  if (old != nullptr) old->MouseLeave();
  if (control != nullptr) control->MouseEnter();
}

void TForm::HandleInput(const InputEvent& e) {
  using Kind = InputEvent::Kind;
  if (e.kind == Kind::KeyDown) {
    std::uint16_t key = e.key;
    if (OnKeyDown) OnKeyDown(this, key, e.shift);
    return;
  }
  if (e.kind == Kind::MouseLeaveWindow) {
    SetHover(nullptr);
    return;
  }
  TControl* target = ControlAt(e.x, e.y);
  SetHover(target);
  const std::int32_t x = target == this ? e.x : e.x - target->Left();
  const std::int32_t y = target == this ? e.y : e.y - target->Top();
  switch (e.kind) {
    case Kind::MouseDown:
      target->MouseDown(e.button, e.shift, x, y);
      break;
    case Kind::MouseUp:
      target->MouseUp(e.button, e.shift, x, y);
      break;
    default:
      target->MouseMove(e.shift, x, y);
  }
}

}  // namespace slidesaver
