// Form streaming: what is written, the binary/text round trip, reading back, and malformed input.
#include <gtest/gtest.h>
#include <vcl/Classes.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include <unistd.h>

using namespace vcl;

namespace demo {

enum TUnit { unInch, unCm, unPica, unPoint, unTwips, unPixel };
VCL_ENUM_INFO(TUnit, unInch, unCm, unPica, unPoint, unTwips, unPixel)
using TUnits = Set<TUnit>;

// A persistent sub-object like a scan range: only Value is writable, the rest drop what they get.
class TRange : public TPersistent {
  VCL_CLASS(TRange, TPersistent)
 public:
  static void DeclareProperties(TPropertyBuilder<TRange>& p) {
    p.Property("Supported", &TRange::Supported, IgnoreValue).Default(true);
    p.Property("Max", &TRange::Max, IgnoreValue);
    p.Property("Value", &TRange::GetValue, &TRange::SetValue);
  }
  float GetValue() const { return value; }
  void SetValue(float v) { value = v; }
  bool Supported = true;
  float Max = 0;
  float value = 0;
};
VCL_IMPLEMENT_CLASS(TRange, TPersistent)

class TDevice : public TComponent {
  VCL_CLASS(TDevice, TComponent)
 public:
  explicit TDevice(TComponent* owner) : TComponent(owner) {}
  static void DeclareProperties(TPropertyBuilder<TDevice>& p) {
    p.Property("Active", &TDevice::Active, &TDevice::Active).Stored(false);
    p.Property("SourceName", &TDevice::SourceName, &TDevice::SourceName);
    p.Property("UseCurrentValue", &TDevice::UseCurrentValue, &TDevice::UseCurrentValue).Default(true);
    p.Property("Caps", &TDevice::Caps, IgnoreValue);
    p.Property("UnitMode", &TDevice::UnitMode, &TDevice::UnitMode).Default(unInch);
    p.Property("UnitModes", &TDevice::UnitModes, &TDevice::UnitModes).Default(TUnits{unInch, unCm, unPixel});
    p.Property("BitDepth", &TDevice::BitDepth, &TDevice::BitDepth).Default(24);
    p.Property("FrameTop", &TDevice::FrameTop, &TDevice::FrameTop);
    p.Property("Gain", &TDevice::Gain, &TDevice::Gain);
    p.Property("Resolution", &TDevice::GetResolution, [](TDevice& d, TRange* r) { d.resolution_.Assign(r); });
    p.Property("Names", &TDevice::GetNames, [](TDevice& d, TStrings* s) { d.names_.Assign(s); });
    p.Property("Buddy", &TDevice::Buddy, &TDevice::Buddy);
    p.Property("OnActivate", &TDevice::OnActivate, &TDevice::OnActivate).TypeName("TNotifyEvent");
  }
  TRange* GetResolution() { return &resolution_; }
  TStrings* GetNames() { return &names_; }
  void Loaded() override {
    inherited::Loaded();
    ++loadedCalls;
  }

  bool Active = false;
  std::string SourceName;
  bool UseCurrentValue = true;
  TUnits Caps;
  TUnit UnitMode = unInch;
  TUnits UnitModes{unInch, unCm, unPixel};
  int BitDepth = 24;
  float FrameTop = 0;
  double Gain = 0;
  TComponent* Buddy = nullptr;
  TNotifyEvent OnActivate;
  int loadedCalls = 0;

 private:
  TRange resolution_;
  TStringList names_;
};
VCL_IMPLEMENT_CLASS(TDevice, TComponent)

// A form-like root with handlers by name.
class TBox : public TComponent {
  VCL_CLASS(TBox, TComponent)
 public:
  explicit TBox(TComponent* owner) : TComponent(owner) { DeclareHandler("Device1Activate", &TBox::Device1Activate); }
  void Device1Activate(TObject* sender) { activatedBy = sender; }
  TObject* activatedBy = nullptr;
};
VCL_IMPLEMENT_CLASS(TBox, TComponent)

}  // namespace demo

using namespace demo;

namespace {

struct Registered {
  Registered() { RegisterClasses({&TDevice::StaticClass(), &TBox::StaticClass()}); }
};
const Registered registered;

std::string Bytes(TMemoryStream& m) { return std::string(static_cast<char*>(m.Memory()), static_cast<size_t>(m.GetSize())); }

std::string WriteBinary(TComponent* c) {
  TMemoryStream m;
  m.WriteComponent(c);
  return Bytes(m);
}

std::string BinaryToText(const std::string& binary) {
  TStringStream in(binary), out;
  ObjectBinaryToText(&in, &out);
  return out.DataString();
}

std::string TextToBinary(const std::string& text) {
  TStringStream in(text);
  TMemoryStream out;
  ObjectTextToBinary(&in, &out);
  return Bytes(out);
}

// Every published property, through sub-objects, as text.
void Collect(TObject* obj, const std::string& prefix, std::vector<std::string>& out) {
  for (const TPropInfo* p : obj->ClassType().Properties()) {
    if (p->Kind == tkClass) {
      TObject* sub = p->GetObject(obj);
      if (auto* s = dynamic_cast<TStrings*>(sub))
        out.push_back(prefix + p->Name + "=" + s->GetCommaText());
      else if (sub && !dynamic_cast<TComponent*>(sub))
        Collect(sub, prefix + p->Name + ".", out);
      else
        out.push_back(prefix + p->Name + "=" + GetPropValue(obj, p->Name));
    } else if (p->Kind == tkFloat) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.21Lg", p->GetFloat(obj));  // exact, not FloatToStr's 15 digits
      out.push_back(prefix + p->Name + "=" + buf);
    } else {
      out.push_back(prefix + p->Name + "=" + GetPropValue(obj, p->Name));
    }
  }
}

std::vector<std::string> Props(TComponent* c) {
  std::vector<std::string> out;
  Collect(c, c->GetName() + ".", out);
  for (int i = 0; i < c->ComponentCount(); ++i) {
    auto child = Props(c->Components(i));
    out.insert(out.end(), child.begin(), child.end());
  }
  return out;
}

// A tree that exercises every kind of value.
std::unique_ptr<TBox> MakeTree() {
  auto box = std::make_unique<TBox>(nullptr);
  box->SetName("Box1");
  auto* d = new TDevice(box.get());
  d->SetName("Device1");
  d->Active = true;  // never stored
  d->SourceName = "Virtual 'Scanner'\t\xE6\x97\xA5";
  d->UseCurrentValue = false;
  d->Caps = {unCm, unTwips};
  d->UnitMode = unPixel;
  d->UnitModes = {};
  d->BitDepth = 100000;
  d->FrameTop = -12.5f;
  d->Gain = 1e-20;
  d->GetResolution()->value = 150;
  d->GetResolution()->Max = 1200;
  d->GetNames()->SetText("first\nsecond");
  SetMethodProp(d, "OnActivate", box.get(), "Device1Activate");
  auto* d2 = new TDevice(box.get());
  d2->SetName("Device2");
  d2->SourceName = std::string(300, 'L');
  d2->GetResolution()->value = static_cast<float>(2.2);
  d2->Gain = 1.0 / 3;
  d2->Buddy = d;
  auto* nested = new TDevice(d2);
  nested->SetName("Inner");
  nested->BitDepth = -1;
  return box;
}

TEST(Streaming, FreshComponentWritesNoProperties) {
  TDevice d(nullptr);
  d.SetName("Device1");
  // Caps declares no default, so it is written even when empty.
  EXPECT_EQ(BinaryToText(WriteBinary(&d)), "object Device1: TDevice\r\n  Caps = []\r\nend\r\n");
}

TEST(Streaming, TextShowsEveryKindOfValue) {
  auto box = MakeTree();
  std::string text = BinaryToText(WriteBinary(box.get()));
  EXPECT_EQ(text,
            "object Box1: TBox\r\n"
            "  object Device1: TDevice\r\n"
            "    SourceName = 'Virtual ''Scanner'''#9#230#151#165\r\n"
            "    UseCurrentValue = False\r\n"
            "    Caps = [unCm, unTwips]\r\n"
            "    UnitMode = unPixel\r\n"
            "    UnitModes = []\r\n"
            "    BitDepth = 100000\r\n"
            "    FrameTop = -12.500000000000000000\r\n"
            "    Gain = 9.99999999999999945153E-21\r\n"
            "    Resolution.Max = 1200.000000000000000000\r\n"
            "    Resolution.Value = 150.000000000000000000\r\n"
            "    Names.Strings = (\r\n"
            "      'first'\r\n"
            "      'second')\r\n"
            "    OnActivate = Device1Activate\r\n"
            "  end\r\n"
            "  object Device2: TDevice\r\n"
            "    SourceName = \r\n"
            "      '" + std::string(64, 'L') + "' +\r\n"
            "      '" + std::string(64, 'L') + "' +\r\n"
            "      '" + std::string(64, 'L') + "' +\r\n"
            "      '" + std::string(64, 'L') + "' +\r\n"
            "      '" + std::string(44, 'L') + "'\r\n"
            "    Caps = []\r\n"
            "    Gain = 0.333333333333333315\r\n"
            "    Resolution.Value = 2.200000047683715820\r\n"
            "    Buddy = Device1\r\n"
            "    object Inner: TDevice\r\n"
            "      Caps = []\r\n"
            "      BitDepth = -1\r\n"
            "    end\r\n"
            "  end\r\n"
            "end\r\n");
}

TEST(Streaming, BinaryTextBinaryIsByteIdenticalAndReadsBackEqual) {
  auto box = MakeTree();
  std::string binary = WriteBinary(box.get());
  EXPECT_EQ(binary.substr(0, 4), "TPF0");
  std::string text = BinaryToText(binary);
  EXPECT_EQ(TextToBinary(text), binary);

  auto copy = std::unique_ptr<TComponent>(TextToComponent(text, nullptr));
  ASSERT_EQ(copy->ClassName(), "TBox");
  auto* box2 = static_cast<TBox*>(copy.get());
  // What is stored comes back; Active and the ignored values keep the new object's own.
  auto want = Props(box.get()), got = Props(copy.get());
  for (auto& v : want) {
    if (v == "Device1.Active=True") v = "Device1.Active=False";
    if (v.starts_with("Device1.Caps=") || v.starts_with("Device2.Caps=")) v = v.substr(0, v.find('=')) + "=[]";
    if (v.starts_with("Device1.Resolution.Max=")) v = "Device1.Resolution.Max=0";
  }
  EXPECT_EQ(got, want);

  auto* d1 = static_cast<TDevice*>(box2->FindComponent("Device1"));
  auto* d2 = static_cast<TDevice*>(box2->FindComponent("Device2"));
  ASSERT_TRUE(d1 && d2);
  EXPECT_EQ(d2->Buddy, d1);  // references are fixed up after the whole tree exists
  ASSERT_TRUE(d1->OnActivate);
  d1->OnActivate(d1);
  EXPECT_EQ(box2->activatedBy, d1);
  EXPECT_EQ(d1->loadedCalls, 1);
  EXPECT_FALSE(d1->ComponentState().Contains(csLoading));
}

TEST(Streaming, ReadsIntoAnExistingRootAndItsExistingChildren) {
  auto box = MakeTree();
  std::string binary = WriteBinary(box.get());
  TBox target(nullptr);
  auto* existing = new TDevice(&target);
  existing->SetName("Device1");
  TMemoryStream m;
  m.WriteBuffer(binary.data(), static_cast<int64_t>(binary.size()));
  m.SetPosition(0);
  EXPECT_EQ(m.ReadComponent(&target), &target);
  EXPECT_EQ(target.GetName(), "Box1");
  EXPECT_EQ(target.ComponentCount(), 2);
  EXPECT_EQ(target.Components(0), existing);
  EXPECT_EQ(existing->UnitMode, unPixel);
}

TEST(Streaming, FloatTextForms) {
  struct Case {
    long double value;
    const char* text;
  } cases[] = {
      {150, "150.000000000000000000"},
      {0, "0.000000000000000000"},
      {-0.5, "-0.500000000000000000"},
      {static_cast<float>(0.1), "0.100000001490116119"},
      {0.1, "0.100000000000000006"},
      {0.1L, "0.100000000000000000"},
      {1.0L / 3, "3.33333333333333333342E-1"},
      {1e20L, "1.00000000000000000000E+20"},
      {1.5e-30, "1.49999999999999994984E-30"},
      {123456789012345.0L, "123456789012345.000000000000000000"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(FormFloatToText(c.value), c.text);
    long double back = FormTextToFloat(c.text);
    EXPECT_EQ(std::memcmp(&back, &c.value, 10), 0) << c.text;
  }
  EXPECT_EQ(FormTextToFloat("2.2"), 2.2L);  // a hand-written number is read as it is
  EXPECT_THROW(FormTextToFloat("1.5x"), EConvertError);
}

TEST(Streaming, TextValueKindsRoundTrip) {
  // Values no component here writes still convert both ways unchanged.
  std::string text =
      "inherited Form1: TForm [2]\r\n"
      "  Big = 5000000000\r\n"
      "  Neg = -129\r\n"
      "  S = 1.5s\r\n"
      "  D = 45000.25d\r\n"
      "  C = -12.3456c\r\n"
      "  W = 'A'#12354'B'\r\n"
      "  N = nil\r\n"
      "  Data = {\r\n"
      "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\r\n"
      "    FF}\r\n"
      "  Items = <\r\n"
      "    item [3]\r\n"
      "      Width = 50\r\n"
      "    end\r\n"
      "    item\r\n"
      "    end>\r\n"
      "  Empty = ()\r\n"
      "  inline Frame1: TFrame\r\n"
      "  end\r\n"
      "end\r\n";
  std::string binary = TextToBinary(text);
  EXPECT_EQ(BinaryToText(binary), text);
  EXPECT_EQ(TextToBinary(BinaryToText(binary)), binary);
}

template <class E>
std::string ReadError(const std::string& text) {
  try {
    TBox box(nullptr);
    TextToComponent(text, &box);
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST(Streaming, ReadErrorsNameWhatIsWrong) {
  EXPECT_EQ(ReadError<EReadError>("object Box1: TBox\r\n  object D: TDevice\r\n    Foo = 1\r\n  end\r\nend\r\n"),
            "Error reading D.Foo: Property Foo does not exist");
  EXPECT_EQ(ReadError<EReadError>("object Box1: TBox\r\n  object D: TDevice\r\n    Resolution.Foo = 1\r\n  end\r\nend\r\n"),
            "Error reading D.Resolution.Foo: Property Foo does not exist");
  EXPECT_EQ(ReadError<EReadError>("object Box1: TBox\r\n  object D: TDevice\r\n    UnitMode = umMile\r\n  end\r\nend\r\n"),
            "Error reading D.UnitMode: Invalid property value");
  EXPECT_EQ(ReadError<EReadError>("object Box1: TBox\r\n  object D: TDevice\r\n    BitDepth = 'x'\r\n  end\r\nend\r\n"),
            "Error reading D.BitDepth: Invalid property value");
  EXPECT_EQ(ReadError<EReadError>("object Box1: TBox\r\n  object D: TDevice\r\n    OnActivate = Nowhere\r\n  end\r\nend\r\n"),
            "Error reading D.OnActivate: Method 'Nowhere' not found");
  EXPECT_EQ(ReadError<EClassNotFound>("object Box1: TBox\r\n  object D: TGizmo\r\n  end\r\nend\r\n"),
            "Class TGizmo not found");
}

TEST(Streaming, MalformedTextRaisesParserErrors) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "'object' expected on line 1"},
      {"object A: TBox\r\n", "'end' expected on line 2"},
      {"object A: TBox\r\n  X = ]\r\nend\r\n", "Invalid property value on line 2"},
      {"object A: TBox\r\n  X = 'abc\r\nend\r\n", "Unterminated string on line 2"},
      {"object A: TBox\r\n  X 5\r\nend\r\n", "'=' expected on line 2"},
      {"object A: TBox\r\n  X = [a, ]\r\nend\r\n", "Identifier expected on line 2"},
      {"object A: TBox\r\n  X = {0G}\r\nend\r\n", "Invalid binary value on line 2"},
      {"object A: TBox\r\n  X = {012}\r\nend\r\n", "Invalid binary value on line 2"},
      {"object A: TBox\r\n  X = #99999\r\nend\r\n", "Invalid character code on line 2"},
      {"object A: TBox\r\n  X = 12abc\r\nend\r\n", "Invalid number on line 2"},
      {"object A: TBox\r\n  X = 99999999999999999999\r\nend\r\n", "Invalid integer on line 2"},
      {"object A: TBox\r\n  X = 'a' +\r\nend\r\n", "String expected on line 3"},
      {"object A: TBox\r\nend\r\nend\r\n", "End of file expected on line 3"},
  };
  for (auto& c : cases) EXPECT_EQ(ReadError<EParserError>(c.text), c.message) << c.text;
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "object A: TBox\r\n";
  EXPECT_EQ(ReadError<EParserError>(deep), "Nesting too deep on line 66");
}

// Every truncation and every single-byte change of a valid stream either reads or raises a filer
// error; none crashes or reads outside the data (the sanitizer build checks that).
TEST(Streaming, MalformedBinaryNeverEscapes) {
  auto box = MakeTree();
  const std::string binary = WriteBinary(box.get());
  auto attempt = [](const std::string& data) {
    TMemoryStream m;
    m.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    m.SetPosition(0);
    try {
      TBox target(nullptr);
      m.ReadComponent(&target);
    } catch (const EFilerError&) {
    } catch (const EComponentError&) {
    }
    m.SetPosition(0);
    try {
      TStringStream out;
      ObjectBinaryToText(&m, &out);
    } catch (const EFilerError&) {
    }
  };
  for (size_t n = 0; n < binary.size(); ++n) {
    TMemoryStream m;
    m.WriteBuffer(binary.data(), static_cast<int64_t>(n));
    m.SetPosition(0);
    TBox target(nullptr);
    EXPECT_THROW(m.ReadComponent(&target), EFilerError) << "truncated at " << n;
  }
  for (size_t i = 0; i < binary.size(); ++i)
    for (uint8_t b : {uint8_t{0x00}, uint8_t{0x05}, uint8_t{0x0C}, uint8_t{0x7F}, uint8_t{0xFF}}) {
      std::string bad = binary;
      bad[i] = static_cast<char>(b);
      attempt(bad);
    }
}

TEST(Streaming, MalformedBinaryTable) {
  using namespace std::string_literals;
  // "TPF0", a TDevice named X, then the given properties and the rest.
  auto make = [](const std::string& rest) { return "TPF0\x07TDevice\x01X"s + rest; };
  std::string deep = make("\0"s);
  for (int i = 0; i < 100; ++i) deep += "\x07TDevice\x00\x00"s;
  struct Case {
    std::string data;
    std::string message;
  } cases[] = {
      {"TPF1\x07TDevice\x01X\x00\x00"s, "Invalid stream format"},
      {"", "Invalid stream format"},
      {make("\x06X\x00\x00"s), "Stream read error"},
      {make("\x03Tag\x2A"s), "Error reading X.Tag: Invalid property value type (42)"},
      {make("\x03Tag\x13\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00"s), "Error reading X.Tag: Invalid property value"},
      {make("\x0ASourceName\x0C\xFF\xFF\xFF\x7F"s), "Error reading X.SourceName: Stream read error"},
      {make("\x0ASourceName\x0C\xFF\xFF\xFF\xFF"s), "Error reading X.SourceName: Stream read error"},
      {make("\x0ASourceName\x12\x00\x00\x00\x40"s), "Error reading X.SourceName: Stream read error"},
      {make("\x03" "Foo\x0A\x00\x00\x00\x10\x00\x00"s), "Error reading X.Foo: Stream read error"},
      {make("\x09UnitModes\x0B\x04unXX\x00\x00\x00"s), "Error reading X.UnitModes: Invalid property value"},
      {make("\x10Resolution.Value\x06\x01x\x00\x00"s), "Error reading X.Resolution.Value: Invalid property value"},
      {make("\x0DNames.Strings\x06\x01x\x00\x00"s), "Error reading X.Names.Strings: Invalid property value"},
      {make("\x0AResolution\x07\x01X\x00\x00"s), "Error reading X.Resolution: Invalid property value"},
      {make("\x00\x07TDevice\x01\x31\x00\x00\x00"s), "'1' is not a valid component name"},
      {make("\x00\x06TGizmo\x01Y\x00\x00\x00"s), "Class TGizmo not found"},
      {deep, "Nesting too deep"},
  };
  for (auto& c : cases) {
    TMemoryStream m;
    m.WriteBuffer(c.data.data(), static_cast<int64_t>(c.data.size()));
    m.SetPosition(0);
    TDevice target(nullptr);
    try {
      m.ReadComponent(&target);
      ADD_FAILURE() << "accepted case " << c.message;
    } catch (const EFilerError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(Streaming, IntegerPropertiesWithIdentifiers) {
  struct TSwatch : TComponent {
    using TComponent::TComponent;
    int32_t color = 0;
  };
  static TMetaClass meta("TSwatch", &TComponent::StaticClass(), nullptr, [](TMetaClass& m) {
    TPropertyBuilder<TSwatch> p(m);
    p.Property("Color", &TSwatch::color, &TSwatch::color).TypeName("TShade").Default(-1);
  });
  struct TSwatchOf : TSwatch {
    using TSwatch::TSwatch;
    const TMetaClass& ClassType() const override { return meta; }
  };
  RegisterIntegerConsts("TShade", {{"shRed", 0xFF}, {"shBlack", 0}});
  TSwatchOf s(nullptr);
  s.SetName("S");
  s.color = 0xFF;
  EXPECT_EQ(BinaryToText(WriteBinary(&s)), "object S: TSwatch\r\n  Color = shRed\r\nend\r\n");
  s.color = 0x123;
  EXPECT_EQ(GetPropValue(&s, "Color"), "291");
  SetPropValue(&s, "Color", "shblack");
  EXPECT_EQ(s.color, 0);
  TSwatchOf back(nullptr);
  TextToComponent("object S: TSwatch\r\n  Color = shRed\r\nend\r\n", &back);
  EXPECT_EQ(back.color, 0xFF);
  EXPECT_THROW(TextToComponent("object S: TSwatch\r\n  Color = shBlue\r\nend\r\n", &back), EReadError);
}

TEST(Streaming, EventBoundInCodeWithoutNameIsNotWritten) {
  TDevice d(nullptr);
  d.SetName("D");
  d.OnActivate = [](TObject*) {};
  EXPECT_EQ(BinaryToText(WriteBinary(&d)).find("OnActivate"), std::string::npos);
  EXPECT_EQ(GetMethodProp(&d, "OnActivate"), "");
  EXPECT_EQ(*FindPropInfo(&d, "OnActivate").EventType, typeid(TNotifyEvent));  // what an editor matches handlers by
}

}  // namespace

namespace demo {
// Streams a block of bytes itself, as a picture's data would be.
class TBlob : public TComponent {
  VCL_CLASS(TBlob, TComponent)
 public:
  using TComponent::TComponent;
  std::string data;

 protected:
  void DefineProperties(TFiler* filer) override {
    inherited::DefineProperties(filer);
    filer->DefineBinaryProperty(
        "Data",
        [this](TStream* s) {
          data.resize(static_cast<size_t>(s->GetSize()));
          s->ReadBuffer(data.data(), s->GetSize());
        },
        [this](TStream* s) { s->WriteBuffer(data.data(), static_cast<int64_t>(data.size())); }, !data.empty());
  }
};
VCL_IMPLEMENT_CLASS(TBlob, TComponent)
}  // namespace demo

namespace {
TEST(Streaming, BinaryPropertiesAndFilesInBothFormats) {
  TBlob blob(nullptr);
  blob.SetName("Blob1");
  blob.data = std::string("\x00\x01\xFE", 3) + std::string(40, 'A');
  std::string text = ComponentToText(&blob);
  EXPECT_EQ(text.substr(0, 47), "object Blob1: TBlob\r\n  Data = {\r\n    0001FE4141");
  auto dir = std::filesystem::temp_directory_path() / ("vcl-form-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (TFormFileFormat format : {fffBinary, fffText}) {
    std::string file = (dir / "blob.dfm").string();
    WriteComponentFile(file, &blob, format);
    TBlob back(nullptr);
    ReadComponentFile(file, &back);
    EXPECT_EQ(back.data, blob.data);
    EXPECT_EQ(back.GetName(), "Blob1");
  }
  std::filesystem::remove_all(dir);
}
}  // namespace
