// TImage (a picture shown in its parent, no window of its own) and TPanel (a container window).
#ifndef VCL_EXTCTRLS_H
#define VCL_EXTCTRLS_H

#include <vcl/Controls.h>

#include <memory>

namespace vcl {

// Shows a picture. AutoSize makes the control take the picture's size whenever the picture
// changes; Stretch and Center say how a picture of another size would be shown (they change no
// pixels). Canvas draws into the picture's bitmap: with no picture, it first makes an empty
// picture a bitmap of the control's size (white), as the framework does; a picture holding another
// kind of graphic raises EInvalidOperation "Can only modify an image if it contains a bitmap".
class TImage : public TGraphicControl {
  VCL_CLASS(TImage, TGraphicControl)
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  // Published: AutoSize, Center, Stretch (all default false), Picture.
  static void DeclareProperties(TPropertyBuilder<TImage>& p);

  TPicture* GetPicture() const { return picture_.get(); }
  // Copies the value into the picture (nullptr clears it).
  void SetPicture(TPicture* value) { picture_->Assign(value); }
  TCanvas* GetCanvas() override;
  bool GetAutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool GetStretch() const { return stretch_; }
  void SetStretch(bool value) { stretch_ = value; }
  bool GetCenter() const { return center_; }
  void SetCenter(bool value) { center_ = value; }

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> picture_;
  bool autoSize_ = false;
  bool stretch_ = false;
  bool center_ = false;
};

// A container window (class "TPanel") with a caption; its child controls are child windows.
class TPanel : public TWinControl {
  VCL_CLASS(TPanel, TWinControl)
 public:
  explicit TPanel(TComponent* AOwner);
  // Published: Caption.
  static void DeclareProperties(TPropertyBuilder<TPanel>& p);
};

}  // namespace vcl

#endif
