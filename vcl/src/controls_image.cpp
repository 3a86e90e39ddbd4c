// TImage, TPanel and TBevel.
#include <korven/snapshot.h>
#include <vcl/ExtCtrls.h>
#include <vcl/TypInfo.h>

#include "graphics_store.h"

namespace vcl {

VCL_IMPLEMENT_CLASS(TImage, TGraphicControl)
VCL_IMPLEMENT_CLASS(TPanel, TWinControl)
VCL_IMPLEMENT_CLASS(TBevel, TGraphicControl)

namespace {

// The framework's TBorderStyle is the first two members of TFormBorderStyle.
const bool kBorderStyleNames = [] {
  RegisterIntegerConsts("TBorderStyle", {{"bsNone", 0}, {"bsSingle", 1}});
  return true;
}();

using korven::platform::BevelCut;

BevelCut CutOf(TBevelCut c) {
  switch (c) {
    case bvLowered: return BevelCut::Lowered;
    case bvRaised: return BevelCut::Raised;
    case bvSpace: return BevelCut::Space;
    default: return BevelCut::None;
  }
}

}  // namespace

// ---- TImage -------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), picture_(std::make_unique<TPicture>()) {
  width_ = 105;
  height_ = 105;
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() { picture_->OnChange = nullptr; }

void TImage::DeclareProperties(TPropertyBuilder<TImage>& p) {
  p.Property("AutoSize", &TImage::GetAutoSize, &TImage::SetAutoSize).Default(false);
  p.Property("Center", &TImage::GetCenter, &TImage::SetCenter).Default(false);
  p.Property("Picture", &TImage::GetPicture, &TImage::SetPicture);
  p.Property("Stretch", &TImage::GetStretch, &TImage::SetStretch).Default(false);
  p.Property("Transparent", &TImage::GetTransparent, &TImage::SetTransparent).Default(false);
}

void TImage::SetAutoSize(bool value) {
  autoSize_ = value;
  PictureChanged();
}

void TImage::SetStretch(bool value) {
  stretch_ = value;
  PushPicture();
}

void TImage::SetCenter(bool value) {
  center_ = value;
  PushPicture();
}

void TImage::SetTransparent(bool value) {
  transparent_ = value;
  PushPicture();
}

void TImage::PictureChanged() {
  if (autoSize_ && picture_->GetWidth() > 0 && picture_->GetHeight() > 0)
    SetBounds(left_, top_, picture_->GetWidth(), picture_->GetHeight());
  PushPicture();
}

void TImage::CreateParams(TCreateParams& Params) {
  TGraphicControl::CreateParams(Params);
  Params.Style |= SS_BITMAP;
}

void TImage::HandleCreated() { PushPicture(); }

void TImage::PushPicture() {
  if (!handle_) return;
  auto* bitmap = dynamic_cast<TBitmap*>(picture_->GetGraphic());
  if (!bitmap || bitmap->GetEmpty()) {
    korven::platform::SetWindowImage(handle_, nullptr);
    return;
  }
  auto image = std::make_shared<korven::platform::WindowImage>();
  const detail::PixelStore& store = bitmap->Store();
  image->width = store.width;
  image->height = store.height;
  image->pixels.resize(static_cast<size_t>(store.width) * static_cast<size_t>(store.height));
  for (int y = 0; y < store.height; ++y)
    detail::RowToColors(store, store.Row(y), 0, store.width, image->pixels.data() + static_cast<size_t>(y) * store.width);
  image->stretch = stretch_;
  image->center = center_;
  image->transparent = transparent_;
  korven::platform::SetWindowImage(handle_, std::move(image));
}

TCanvas* TImage::GetCanvas() {
  TGraphic* g = picture_->GetGraphic();
  if (!g) {
    TBitmap fresh;
    fresh.SetSize(width_, height_);
    fresh.GetCanvas()->GetBrush()->SetColor(clWhite);
    fresh.GetCanvas()->FillRect(Rect(0, 0, width_, height_));
    picture_->SetGraphic(&fresh);
    g = picture_->GetGraphic();
  }
  auto* bitmap = dynamic_cast<TBitmap*>(g);
  if (!bitmap) throw EInvalidOperation("Can only modify an image if it contains a bitmap");
  return bitmap->GetCanvas();
}

// ---- TPanel -------------------------------------------------------------------------------------

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 185;
  height_ = 41;
}

void TPanel::DeclareProperties(TPropertyBuilder<TPanel>& p) {
  p.Property("Alignment", &TPanel::GetAlignment, &TPanel::SetAlignment).Default(taCenter);
  p.Property("BevelInner", &TPanel::GetBevelInner, &TPanel::SetBevelInner).Default(bvNone);
  p.Property("BevelOuter", &TPanel::GetBevelOuter, &TPanel::SetBevelOuter).Default(bvRaised);
  p.Property("BevelWidth", &TPanel::GetBevelWidth, &TPanel::SetBevelWidth).Default(1);
  p.Property("BorderStyle", &TPanel::GetBorderStyle, &TPanel::SetBorderStyle).Default(0).TypeName("TBorderStyle");
  p.Property("BorderWidth", &TPanel::GetBorderWidth, &TPanel::SetBorderWidth).Default(0);
  p.Property("Caption", &TPanel::GetCaption, &TPanel::SetCaption);
}

void TPanel::SetBevelInner(TBevelCut value) {
  bevelInner_ = value;
  LookChanged();
  Realign();
}

void TPanel::SetBevelOuter(TBevelCut value) {
  bevelOuter_ = value;
  LookChanged();
  Realign();
}

void TPanel::SetBevelWidth(int value) {
  bevelWidth_ = value < 1 ? 1 : value;
  LookChanged();
  Realign();
}

void TPanel::SetBorderWidth(int value) {
  borderWidth_ = value < 0 ? 0 : value;
  LookChanged();
  Realign();
}

void TPanel::SetBorderStyle(int value) {
  if (value != 0 && value != 1) throw EInvalidOperation("Invalid property value");
  if (value == borderStyle_) return;
  borderStyle_ = value;
  RecreateWnd();
  Realign();
}

void TPanel::SetAlignment(TAlignment value) {
  alignment_ = value;
  if (handle_) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_CENTER | SS_RIGHT);
    SetWindowLongPtrA(handle_, GWL_STYLE, style | (value == taCenter ? SS_CENTER : value == taRightJustify ? SS_RIGHT : 0));
  }
}

void TPanel::AdjustClientRect(TRect& rect) const {
  int inset = borderWidth_;
  if (bevelOuter_ != bvNone) inset += bevelWidth_;
  if (bevelInner_ != bvNone) inset += bevelWidth_;
  rect.Left += inset;
  rect.Top += inset;
  rect.Right -= inset;
  rect.Bottom -= inset;
  if (rect.Right < rect.Left) rect.Right = rect.Left;
  if (rect.Bottom < rect.Top) rect.Bottom = rect.Top;
}

void TPanel::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (borderStyle_ == 1) Params.Style |= WS_BORDER;
  Params.Style |= alignment_ == taCenter ? SS_CENTER : alignment_ == taRightJustify ? SS_RIGHT : 0;
}

void TPanel::LookChanged() {
  TWinControl::LookChanged();
  if (!handle_) return;
  korven::platform::WindowLook look = korven::platform::GetWindowLook(handle_);
  look.bevelOuter = CutOf(bevelOuter_);
  look.bevelInner = CutOf(bevelInner_);
  look.bevelWidth = bevelWidth_;
  look.borderWidth = borderWidth_;
  korven::platform::SetWindowLook(handle_, look);
}

// ---- TBevel -------------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 50;
  height_ = 50;
}

void TBevel::DeclareProperties(TPropertyBuilder<TBevel>& p) {
  p.Property("Shape", &TBevel::GetShape, &TBevel::SetShape).Default(bsBox);
  p.Property("Style", &TBevel::GetStyle, &TBevel::SetStyle).Default(bsLowered);
}

void TBevel::SetShape(TBevelShape value) {
  shape_ = value;
  LookChanged();
}

void TBevel::SetStyle(TBevelStyle value) {
  style_ = value;
  LookChanged();
}

void TBevel::CreateParams(TCreateParams& Params) {
  TGraphicControl::CreateParams(Params);
  Params.Style |= SS_ETCHEDFRAME;  // the nearest Win32 static; the look says the exact shape
}

void TBevel::LookChanged() {
  TGraphicControl::LookChanged();
  if (!handle_) return;
  using korven::platform::FrameShape;
  static const FrameShape kShapes[] = {FrameShape::Box,        FrameShape::Frame,     FrameShape::TopLine,
                                       FrameShape::BottomLine, FrameShape::LeftLine,  FrameShape::RightLine,
                                       FrameShape::None};
  korven::platform::WindowLook look = korven::platform::GetWindowLook(handle_);
  look.frame = kShapes[shape_];
  look.frameRaised = style_ == bsRaised;
  korven::platform::SetWindowLook(handle_, look);
}

}  // namespace vcl
