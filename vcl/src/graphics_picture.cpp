// TPicture: one owned graphic, copied in and out.
#include <vcl/Graphics.h>
#include <vcl/TypInfo.h>

#include <algorithm>
#include <cctype>

namespace vcl {

VCL_IMPLEMENT_CLASS(TPicture, TPersistent)

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::Hook() {
  if (graphic_) graphic_->OnChange = [this](TObject*) { Changed(); };
}

void TPicture::SetGraphic(TGraphic* value) {
  if (value == graphic_.get()) return;
  std::unique_ptr<TGraphic> copy;
  if (value) {
    // Only bitmaps exist in this framework; another graphic class would bring its own copy here.
    auto* bitmap = dynamic_cast<TBitmap*>(value);
    if (!bitmap) throw EInvalidGraphic("Unsupported graphic class " + value->ClassName());
    auto b = std::make_unique<TBitmap>();
    b->Assign(bitmap);
    copy = std::move(b);
  }
  graphic_ = std::move(copy);
  Hook();
  Changed();
}

TBitmap* TPicture::GetBitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(graphic_.get())) return b;
  graphic_ = std::make_unique<TBitmap>();
  Hook();
  Changed();
  return static_cast<TBitmap*>(graphic_.get());
}

int TPicture::GetWidth() const { return graphic_ ? graphic_->GetWidth() : 0; }
int TPicture::GetHeight() const { return graphic_ ? graphic_->GetHeight() : 0; }

namespace {
std::string Extension(const std::string& name) {
  const auto slash = name.find_last_of("/\\");
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}
}  // namespace

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = Extension(FileName);
  if (ext != ".bmp") throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
  auto b = std::make_unique<TBitmap>();
  b->LoadFromFile(FileName);
  graphic_ = std::move(b);
  Hook();
  Changed();
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
  } else if (auto* p = dynamic_cast<TPicture*>(Source)) {
    SetGraphic(p->GetGraphic());
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
  } else {
    inherited::Assign(Source);
  }
}

void TPicture::DefineProperties(TFiler* filer) {
  auto read = [this](TStream* s) {
    uint8_t len = 0;
    if (s->Read(&len, 1) != 1) throw EInvalidGraphic("Picture data is truncated");
    std::string name(len, '\0');
    if (len && s->Read(name.data(), len) != len) throw EInvalidGraphic("Picture data is truncated");
    if (name.empty()) {
      SetGraphic(nullptr);
      return;
    }
    if (!SameText(name, "TBitmap")) throw EInvalidGraphic("Unsupported graphic class " + name);
    auto b = std::make_unique<TBitmap>();
    static_cast<TGraphic*>(b.get())->ReadData(s);  // TPicture is a friend of TGraphic
    graphic_ = std::move(b);
    Hook();
    Changed();
  };
  auto write = [this](TStream* s) {
    const std::string& name = graphic_->ClassName();
    const auto len = static_cast<uint8_t>(name.size());
    s->WriteBuffer(&len, 1);
    s->WriteBuffer(name.data(), len);
    graphic_->WriteData(s);
  };
  filer->DefineBinaryProperty("Data", read, write, graphic_ != nullptr);
}

void TPicture::AssignTo(TPersistent* Dest) {
  if (auto* g = dynamic_cast<TGraphic*>(Dest)) {
    g->Assign(graphic_.get());
    return;
  }
  inherited::AssignTo(Dest);
}

}  // namespace vcl
