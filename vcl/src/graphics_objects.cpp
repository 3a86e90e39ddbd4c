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
  p.Property("Charset", &TFont::GetCharset, &TFont::SetCharset).TypeName("TFontCharset");
  p.Property("Color", &TFont::GetColor, &TFont::SetColor).Default(clWindowText).TypeName("TColor");
  p.Property("Height", &TFont::GetHeight, &TFont::SetHeight);
  p.Property("Name", &TFont::GetName, &TFont::SetName);
  p.Property("Pitch", &TFont::GetPitch, &TFont::SetPitch).Default(fpDefault);
  p.Property("Size", &TFont::GetSize, &TFont::SetSize).Stored(false);
  p.Property("Style", &TFont::GetStyle, &TFont::SetStyle).Default(TFontStyles{});
}

void TFont::SetName(const std::string& value) {
  if (value == name_) return;
  name_ = value;
  Changed();
}

// Points at 96 pixels per inch, from the character height.
int TFont::GetSize() const { return static_cast<int>(std::lround(-height_ * 72.0 / 96.0)); }

void TFont::SetSize(int value) { SetHeight(-static_cast<int>(std::lround(value * 96.0 / 72.0))); }

void TFont::SetHeight(int value) {
  if (value == height_) return;
  height_ = value;
  Changed();
}

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

void TFont::SetCharset(TFontCharset value) {
  if (value < 0 || value > 255) throw EInvalidOperation("Invalid property value");
  if (value == charset_) return;
  charset_ = value;
  Changed();
}

void TFont::SetPitch(TFontPitch value) {
  if (value == pitch_) return;
  pitch_ = value;
  Changed();
}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    name_ = f->name_;
    height_ = f->height_;
    color_ = f->color_;
    style_ = f->style_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    Changed();
    return;
  }
  inherited::Assign(Source);
}

namespace {

// The identifiers form files use for colours and character sets.
const bool kGraphicsNames = [] {
  RegisterIntegerConsts("TColor", {{"clBlack", clBlack},     {"clMaroon", clMaroon},   {"clGreen", clGreen},
                                   {"clOlive", clOlive},     {"clNavy", clNavy},       {"clPurple", clPurple},
                                   {"clTeal", clTeal},       {"clGray", clGray},       {"clSilver", clSilver},
                                   {"clRed", clRed},         {"clLime", clLime},       {"clYellow", clYellow},
                                   {"clBlue", clBlue},       {"clFuchsia", clFuchsia}, {"clAqua", clAqua},
                                   {"clWhite", clWhite},     {"clBtnFace", clBtnFace}, {"clNone", clNone},
                                   {"clDefault", clDefault}, {"clWindow", clWindow},   {"clWindowText", clWindowText},
                                   {"clBtnText", clBtnText}});
  RegisterIntegerConsts("TFontCharset",
                        {{"ANSI_CHARSET", 0},       {"DEFAULT_CHARSET", 1},     {"SYMBOL_CHARSET", 2},
                         {"MAC_CHARSET", 77},       {"SHIFTJIS_CHARSET", 128},  {"HANGEUL_CHARSET", 129},
                         {"JOHAB_CHARSET", 130},    {"GB2312_CHARSET", 134},    {"CHINESEBIG5_CHARSET", 136},
                         {"GREEK_CHARSET", 161},    {"TURKISH_CHARSET", 162},   {"VIETNAMESE_CHARSET", 163},
                         {"HEBREW_CHARSET", 177},   {"ARABIC_CHARSET", 178},    {"BALTIC_CHARSET", 186},
                         {"RUSSIAN_CHARSET", 204},  {"THAI_CHARSET", 222},      {"EASTEUROPE_CHARSET", 238},
                         {"OEM_CHARSET", 255}});
  return true;
}();

}  // namespace

}  // namespace vcl
