// libFuzzer target for form streaming: arbitrary bytes go through the binary reader, the
// binary-to-text conversion and the text parser. Each may raise a vcl::Exception and nothing else;
// the sanitizers catch any read outside the data. Built and run by scripts/fuzz.sh (fuzz/README.md).
#include <vcl/Classes.h>

#include <cstdint>

namespace {

enum TMode { mdOne, mdTwo, mdThree };
VCL_ENUM_INFO(TMode, mdOne, mdTwo, mdThree)

class TSub : public vcl::TPersistent {
  VCL_CLASS(TSub, vcl::TPersistent)
 public:
  static void DeclareProperties(vcl::TPropertyBuilder<TSub>& p) {
    p.Property("Value", &TSub::Value, &TSub::Value);
    p.Property("Fixed", &TSub::Fixed, vcl::IgnoreValue).Default(true);
  }
  float Value = 0;
  bool Fixed = true;
};
VCL_IMPLEMENT_CLASS(TSub, vcl::TPersistent)

class TThing : public vcl::TComponent {
  VCL_CLASS(TThing, vcl::TComponent)
 public:
  explicit TThing(vcl::TComponent* owner) : TComponent(owner) { DeclareHandler("Handler", &TThing::Handler); }
  static void DeclareProperties(vcl::TPropertyBuilder<TThing>& p) {
    p.Property("Mode", &TThing::Mode, &TThing::Mode).Default(mdOne);
    p.Property("Modes", &TThing::Modes, &TThing::Modes);
    p.Property("Count", &TThing::Count, &TThing::Count).Default(0);
    p.Property("Text", &TThing::Text, &TThing::Text);
    p.Property("Ratio", &TThing::Ratio, &TThing::Ratio);
    p.Property("Sub", &TThing::GetSub, nullptr);
    p.Property("Lines", &TThing::GetLines, nullptr);
    p.Property("Link", &TThing::Link, &TThing::Link);
    p.Property("OnEvent", &TThing::OnEvent, &TThing::OnEvent);
  }
  void Handler(vcl::TObject*) {}
  TSub* GetSub() { return &sub_; }
  vcl::TStrings* GetLines() { return &lines_; }
  TMode Mode = mdOne;
  vcl::Set<TMode> Modes;
  int Count = 0;
  std::string Text;
  double Ratio = 0;
  vcl::TComponent* Link = nullptr;
  vcl::TNotifyEvent OnEvent;

 private:
  TSub sub_;
  vcl::TStringList lines_;
};
VCL_IMPLEMENT_CLASS(TThing, vcl::TComponent)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (vcl::RegisterClass(TThing::StaticClass()), true);
  (void)registered;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    vcl::TStringStream in(bytes);
    TThing root(nullptr);
    in.ReadComponent(&root);
  } catch (const vcl::Exception&) {
  }
  try {
    vcl::TStringStream in(bytes), out;
    vcl::ObjectBinaryToText(&in, &out);
  } catch (const vcl::Exception&) {
  }
  try {
    vcl::TStringStream in(bytes);
    vcl::TMemoryStream out;
    vcl::ObjectTextToBinary(&in, &out);
  } catch (const vcl::Exception&) {
  }
  return 0;
}
