// Brushes and fonts: small persistent values that report their changes.
#include <vcl/Graphics.h>
#include <vcl/TypInfo.h>

#include <cmath>

namespace vcl {

VCL_IMPLEMENT_CLASS(TGraphicsObject, TPersistent)
VCL_IMPLEMENT_CLASS(TBrush, TGraphicsObject)
VCL_IMPLEMENT_CLASS(TFont, TGraphicsObject)

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

void TBrush::DeclareProperties(TPropertyBuilder<TBrush>& p) {
  p.Property("Color", &TBrush::GetColor, &TBrush::SetColor).Default(clWhite).TypeName("TColor");
  p.Property("Style", &TBrush::GetStyle, &TBrush::SetStyle).Default(bsSolid);
}

void TBrush::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  if (style_ == bsClear) style_ = bsSolid;  // choosing a colour makes a clear brush paint, as in the framework
  Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    color_ = b->color_;
    style_ = b->style_;
    Changed();
    return;
  }
  inherited::Assign(Source);
}

void TFont::DeclareProperties(TPropertyBuilder<TFont>& p) {
  p.Property("Color", &TFont::GetColor, &TFont::SetColor).Default(clWindowText).TypeName("TColor");
  p.Property("Height", &TFont::GetHeight, &TFont::SetHeight);
  p.Property("Name", &TFont::GetName, &TFont::SetName);
  p.Property("Style", &TFont::GetStyle, &TFont::SetStyle).Default(TFontStyles{});
}

void TFont::SetName(const std::string& value) {
  if (value == name_) return;
  name_ = value;
  Changed();
}

void TFont::SetSize(int value) {
  if (value == size_) return;
  size_ = value;
  Changed();
}

// Height in pixels at 96 dpi, negative (character height without internal leading).
int TFont::GetHeight() const { return -static_cast<int>(std::lround(size_ * 96.0 / 72.0)); }

void TFont::SetHeight(int value) { SetSize(static_cast<int>(std::lround(std::abs(value) * 72.0 / 96.0))); }

void TFont::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}

void TFont::SetStyle(TFontStyles value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    name_ = f->name_;
    size_ = f->size_;
    color_ = f->color_;
    style_ = f->style_;
    Changed();
    return;
  }
  inherited::Assign(Source);
}

}  // namespace vcl
