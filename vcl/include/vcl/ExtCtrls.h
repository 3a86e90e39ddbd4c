// TImage (a picture shown in its parent), TPanel (a container window with bevels) and TBevel (a
// sunken or raised frame or line).
#ifndef VCL_EXTCTRLS_H
#define VCL_EXTCTRLS_H

#include <vcl/Controls.h>

#include <memory>

namespace vcl {

// Shows a picture. AutoSize makes the control take the picture's size whenever the picture
// changes; Stretch scales it to the control, Center centres it, Transparent shows the parent's
// background where the picture has the colour of its bottom-left pixel (these say how the picture
// is shown; they change no pixels). Canvas draws into the picture's bitmap: with no picture, it
// first makes an empty picture a bitmap of the control's size (white), as the framework does; a
// picture holding another kind of graphic raises EInvalidOperation "Can only modify an image if it
// contains a bitmap". The window shows the picture's pixels (a "STATIC" with SS_BITMAP), so
// pictures of the form show it.
class TImage : public TGraphicControl {
  VCL_CLASS(TImage, TGraphicControl)
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  // Published: AutoSize, Center, Stretch, Transparent (all default false), Picture.
  static void DeclareProperties(TPropertyBuilder<TImage>& p);

  TPicture* GetPicture() const { return picture_.get(); }
  // Copies the value into the picture (nullptr clears it).
  void SetPicture(TPicture* value) { picture_->Assign(value); }
  TCanvas* GetCanvas() override;
  bool GetAutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool GetStretch() const { return stretch_; }
  void SetStretch(bool value);
  bool GetCenter() const { return center_; }
  void SetCenter(bool value);
  bool GetTransparent() const { return transparent_; }
  void SetTransparent(bool value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void HandleCreated() override;

 private:
  void PictureChanged();
  // Gives the window the picture's pixels (none while there is no window).
  void PushPicture();
  std::unique_ptr<TPicture> picture_;
  bool autoSize_ = false;
  bool stretch_ = false;
  bool center_ = false;
  bool transparent_ = false;
};

// How one edge of a panel is cut.
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
VCL_ENUM_INFO(TBevelCut, bvNone, bvLowered, bvRaised, bvSpace)

// A container window (class "TPanel") with a caption and two bevels: BevelOuter (bvRaised by
// default) and BevelInner (bvNone), each BevelWidth pixels wide, BorderWidth apart. Controls
// aligned inside it keep clear of the bevels. BorderStyle bsSingle adds a one-pixel border.
class TPanel : public TWinControl {
  VCL_CLASS(TPanel, TWinControl)
 public:
  explicit TPanel(TComponent* AOwner);
  // Published: Alignment (taCenter), BevelInner (bvNone), BevelOuter (bvRaised), BevelWidth (1),
  // BorderStyle (bsNone), BorderWidth (0), Caption, TabStop (false).
  static void DeclareProperties(TPropertyBuilder<TPanel>& p);
  TBevelCut GetBevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value);
  TBevelCut GetBevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value);
  int GetBevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int value);
  int GetBorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int value);
  // bsNone or bsSingle (the framework's TBorderStyle, a part of TFormBorderStyle).
  int GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(int value);
  TAlignment GetAlignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  // The client area less the border and the bevels.
  void AdjustClientRect(TRect& rect) const override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void LookChanged() override;

 private:
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvRaised;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  int borderStyle_ = 0;
  TAlignment alignment_ = taCenter;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
VCL_ENUM_INFO(TBevelShape, bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer)
enum TBevelStyle { bsLowered, bsRaised };
VCL_ENUM_INFO(TBevelStyle, bsLowered, bsRaised)

// A bevel: a sunken (or raised) box, an etched frame, one line along an edge, or nothing
// (bsSpacer). Often aligned to an edge of its parent (Align = alBottom for a status line).
class TBevel : public TGraphicControl {
  VCL_CLASS(TBevel, TGraphicControl)
 public:
  explicit TBevel(TComponent* AOwner);
  // Published: Shape (bsBox), Style (bsLowered).
  static void DeclareProperties(TPropertyBuilder<TBevel>& p);
  TBevelShape GetShape() const { return shape_; }
  void SetShape(TBevelShape value);
  TBevelStyle GetStyle() const { return style_; }
  void SetStyle(TBevelStyle value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void LookChanged() override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

}  // namespace vcl

#endif
