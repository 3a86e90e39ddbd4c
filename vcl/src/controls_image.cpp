// TImage and TPanel.
#include <vcl/ExtCtrls.h>
#include <vcl/TypInfo.h>

namespace vcl {

VCL_IMPLEMENT_CLASS(TImage, TGraphicControl)
VCL_IMPLEMENT_CLASS(TPanel, TWinControl)

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
}

void TImage::SetAutoSize(bool value) {
  autoSize_ = value;
  PictureChanged();
}

void TImage::PictureChanged() {
  if (autoSize_ && picture_->GetWidth() > 0 && picture_->GetHeight() > 0)
    SetBounds(left_, top_, picture_->GetWidth(), picture_->GetHeight());
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

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 185;
  height_ = 41;
}

void TPanel::DeclareProperties(TPropertyBuilder<TPanel>& p) {
  p.Property("Caption", &TPanel::GetCaption, &TPanel::SetCaption);
}

}  // namespace vcl
