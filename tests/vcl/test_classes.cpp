// TPersistent, TComponent, published-property information, TList, TStringList and the streams.
#include <gtest/gtest.h>
#include <testsupport.h>
#include <vcl/Classes.h>

#include <filesystem>

using namespace vcl;

namespace demo {

enum TShade { shLight, shMedium, shDark };
VCL_ENUM_INFO(TShade, shLight, shMedium, shDark)
using TShades = Set<TShade>;

// A persistent with one copyable value, to show Assign and AssignTo.
class TPen : public TPersistent {
  VCL_CLASS(TPen, TPersistent)
 public:
  int Width = 1;
  static void DeclareProperties(TPropertyBuilder<TPen>& p) { p.Property("Width", &TPen::Width, &TPen::Width).Default(1); }

 protected:
  void AssignTo(TPersistent* dest) override {
    if (auto* pen = dynamic_cast<TPen*>(dest)) {
      pen->Width = Width;
      return;
    }
    inherited::AssignTo(dest);
  }
};
VCL_IMPLEMENT_CLASS(TPen, TPersistent)

class TOther : public TPersistent {
  VCL_CLASS(TOther, TPersistent)
};
VCL_IMPLEMENT_CLASS(TOther, TPersistent)

// Records every notification it hears.
class TWatcher : public TComponent {
  VCL_CLASS(TWatcher, TComponent)
 public:
  using TComponent::TComponent;
  std::vector<std::string> heard;
  std::vector<std::string>* destroyed = nullptr;
  ~TWatcher() override {
    if (destroyed) destroyed->push_back(GetName());
  }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    heard.push_back((op == opInsert ? "+" : "-") + c->GetName());
    inherited::Notification(c, op);
  }
};
VCL_IMPLEMENT_CLASS(TWatcher, TComponent)

class TGadget : public TComponent {
  VCL_CLASS(TGadget, TComponent)
 public:
  explicit TGadget(TComponent* owner) : TComponent(owner), pen_(new TPen) {}
  ~TGadget() override { delete pen_; }
  static void DeclareProperties(TPropertyBuilder<TGadget>& p) {
    p.Property("Shade", &TGadget::shade_, &TGadget::shade_).Default(shMedium);
    p.Property("Shades", &TGadget::shades_, vcl::IgnoreValue).Default(TShades{shLight});
    p.Property("Ratio", &TGadget::GetRatio, &TGadget::SetRatio);
    p.Property("Caption", &TGadget::caption_, &TGadget::caption_).Stored(&TGadget::CaptionStored);
    p.Property("Pen", &TGadget::GetPen, &TGadget::SetPen);
    p.Property("Count", [](TGadget& g) { return g.count_; }, nullptr);
  }
  float GetRatio() const { return ratio_; }
  void SetRatio(float r) { ratio_ = r; }
  TPen* GetPen() const { return pen_; }
  void SetPen(TPen* p) { pen_->Assign(p); }
  bool CaptionStored() const { return caption_ != "skip"; }
  TShade shade_ = shMedium;
  TShades shades_{shLight};
  std::string caption_;
  int count_ = 3;

 private:
  float ratio_ = 0;
  TPen* pen_;
};
VCL_IMPLEMENT_CLASS(TGadget, TComponent)

}  // namespace demo

using namespace demo;

namespace {

template <class E, class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST(Persistent, AssignCopiesOrRaisesTheFrameworksError) {
  TPen a, b;
  a.Width = 5;
  b.Assign(&a);
  EXPECT_EQ(b.Width, 5);
  TOther other;
  EXPECT_EQ(MessageOf<EConvertError>([&] { other.Assign(&a); }), "Cannot assign a TPen to a TOther");
  EXPECT_EQ(MessageOf<EConvertError>([&] { a.Assign(&other); }), "Cannot assign a TOther to a TPen");
  EXPECT_EQ(MessageOf<EConvertError>([&] { a.Assign(nullptr); }), "Cannot assign a nil to a TPen");
}

TEST(ClassInfo, NamesParentsAndRegistry) {
  TGadget g(nullptr);
  EXPECT_EQ(g.ClassName(), "TGadget");
  EXPECT_TRUE(g.InheritsFrom("tpersistent"));
  EXPECT_TRUE(g.Is<TComponent>());
  EXPECT_FALSE(g.InheritsFrom(TPen::StaticClass()));
  EXPECT_EQ(TGadget::StaticClass().ClassParent(), &TComponent::StaticClass());
  EXPECT_EQ(As<TComponent>(&g), &g);
  EXPECT_THROW(As<TPen>(&g), EInvalidCast);

  EXPECT_EQ(GetClass("TGadget"), nullptr);
  EXPECT_EQ(MessageOf<EClassNotFound>([] { FindClass("TGadget"); }), "Class TGadget not found");
  RegisterClass(TGadget::StaticClass());
  EXPECT_EQ(&FindClass("tgadget"), &TGadget::StaticClass());
  TComponent* made = FindClass("TGadget").CreateComponent(&g);
  EXPECT_EQ(made->ClassName(), "TGadget");
  EXPECT_EQ(g.ComponentCount(), 1);
  UnRegisterClass(TGadget::StaticClass());
  EXPECT_FALSE(TPen::StaticClass().CanCreate());
}

TEST(PropertyInfo, InheritedFirstWithKindsDefaultsAndStoredFlags) {
  TGadget g(nullptr);
  std::vector<std::string> names;
  for (auto* p : TGadget::StaticClass().Properties()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Shade", "Shades", "Ratio", "Caption", "Pen", "Count"}));

  const TPropInfo& shade = FindPropInfo(&g, "shade");
  EXPECT_EQ(shade.Kind, tkEnumeration);
  EXPECT_EQ(shade.TypeName, "TShade");
  EXPECT_EQ(shade.EnumType->Names, (std::vector<std::string>{"shLight", "shMedium", "shDark"}));
  EXPECT_TRUE(shade.HasDefault);
  EXPECT_EQ(shade.Default, shMedium);
  const TPropInfo& ratio = FindPropInfo(&g, "Ratio");
  EXPECT_EQ(ratio.Kind, tkFloat);
  EXPECT_EQ(ratio.FloatType, ftSingle);
  EXPECT_FALSE(ratio.HasDefault);
  EXPECT_EQ(FindPropInfo(&g, "Shades").Kind, tkSet);
  EXPECT_EQ(FindPropInfo(&g, "Pen").PropClass, &TPen::StaticClass());
  EXPECT_FALSE(FindPropInfo(&g, "Count").Writable);
  EXPECT_EQ(GetPropInfo(&g, "Nope"), nullptr);
  EXPECT_EQ(MessageOf<EPropertyError>([&] { FindPropInfo(&g, "Nope"); }), "Property Nope does not exist");

  g.caption_ = "skip";
  EXPECT_FALSE(FindPropInfo(&g, "Caption").IsStored(&g));
  g.caption_ = "x";
  EXPECT_TRUE(IsStoredProp(&g, FindPropInfo(&g, "Caption")));
  EXPECT_FALSE(IsStoredProp(&g, shade));  // at its default
  EXPECT_FALSE(IsStoredProp(&g, FindPropInfo(&g, "Count")));  // read-only
}

TEST(PropertyInfo, GenericAccessByNameAndPath) {
  TGadget g(nullptr);
  SetEnumProp(&g, "Shade", "shDark");
  EXPECT_EQ(g.shade_, shDark);
  EXPECT_EQ(GetPropValue(&g, "Shade"), "shDark");
  SetPropValue(&g, "Ratio", "0.5");
  EXPECT_EQ(g.GetRatio(), 0.5f);
  SetPropValue(&g, "Pen.Width", "7");
  EXPECT_EQ(g.GetPen()->Width, 7);
  EXPECT_EQ(GetPropValue(&g, "Pen.Width"), "7");
  EXPECT_EQ(GetSetProp(&g, "Shades", true), "[shLight]");
  SetSetProp(&g, "Shades", "[shDark, shLight]");  // the writer ignores the value
  EXPECT_EQ(g.shades_, TShades{shLight});
  EXPECT_THROW(SetEnumProp(&g, "Shade", "shPurple"), EPropertyConvertError);
  EXPECT_THROW(SetOrdProp(&g, "Count", 4), EPropReadOnly);
  EXPECT_THROW(GetFloatProp(&g, "Caption"), EPropertyConvertError);
  TPen pen;
  EXPECT_THROW(FindPropInfo(&g, "Shade").GetOrd(&pen), EInvalidCast);
}

TEST(Component, OwnerFreesOwnedInReverseOrderAndNotifies) {
  std::vector<std::string> destroyed;
  auto* root = new TWatcher(nullptr);
  root->SetName("Root");
  auto* a = new TWatcher(root);
  a->SetName("A");
  a->destroyed = &destroyed;
  auto* b = new TWatcher(root);
  b->SetName("B");
  b->destroyed = &destroyed;
  auto* outsider = new TWatcher(nullptr);
  outsider->SetName("Outsider");
  outsider->FreeNotification(b);

  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->Components(1), b);
  EXPECT_EQ(b->GetComponentIndex(), 1);
  EXPECT_EQ(root->FindComponent("b"), b);
  EXPECT_THROW(root->Components(2), EListError);
  EXPECT_EQ(MessageOf<EComponentError>([&] { b->SetName("a"); }), "A component named a already exists");
  EXPECT_EQ(MessageOf<EComponentError>([&] { b->SetName("1x"); }), "'1x' is not a valid component name");

  delete a;  // an owned component freed alone leaves its owner
  EXPECT_EQ(root->ComponentCount(), 1);
  EXPECT_EQ(b->heard, (std::vector<std::string>{"-A"}));

  delete root;
  EXPECT_EQ(destroyed, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(outsider->heard, (std::vector<std::string>{"-B"}));
  delete outsider;
}

TEST(Component, InsertRemoveAndStates) {
  TWatcher root(nullptr);
  auto* c = new TWatcher(nullptr);
  c->SetName("C");
  root.SetDesigning(true);
  root.InsertComponent(c);
  EXPECT_TRUE(c->ComponentState().Contains(csDesigning));
  EXPECT_EQ(root.heard, (std::vector<std::string>{"+C"}));
  root.RemoveComponent(c);
  EXPECT_EQ(c->GetOwner(), nullptr);
  EXPECT_EQ(root.ComponentCount(), 0);
  delete c;
}

TEST(Component, HandlersByName) {
  struct TForm1 : TComponent {
    using TComponent::TComponent;
    int clicks = 0;
    void Button1Click(TObject*) { ++clicks; }
  };
  TForm1 form(nullptr);
  form.DeclareHandler("Button1Click", &TForm1::Button1Click);
  const std::any* h = form.FindHandler("button1click");
  ASSERT_NE(h, nullptr);
  std::any_cast<TNotifyEvent>(*h)(&form);
  EXPECT_EQ(form.clicks, 1);
  form.DeclareHandler("Other", TNotifyEvent([](TObject*) {}));
  EXPECT_EQ(form.HandlerNames(), (std::vector<std::string>{"Button1Click", "Other"}));
  EXPECT_EQ(h->type(), typeid(TNotifyEvent));
}

TEST(List, BoundsAndOrder) {
  TList list;
  int a, b, c;
  list.Add(&a);
  list.Add(&c);
  list.Insert(1, &b);
  EXPECT_EQ(list.IndexOf(&b), 1);
  list.Move(0, 2);
  EXPECT_EQ(list[2], &a);
  EXPECT_EQ(MessageOf<EListError>([&] { list.Get(3); }), "List index out of bounds (3)");
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_EQ(list.Remove(&b), 0);
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, CaseInsensitiveObjectsTextAndCommaText) {
  TStringList s;
  TPen pen;
  s.Add("Alpha");
  s.AddObject("beta", &pen);
  EXPECT_EQ(s.IndexOf("ALPHA"), 0);
  EXPECT_EQ(s.Objects(1), &pen);
  EXPECT_EQ(s.GetText(), "Alpha\r\nbeta\r\n");
  s.SetText("one\r\ntwo\nthree\rfour");
  EXPECT_EQ(s.Count(), 4);
  EXPECT_EQ(s[3], "four");
  s.SetCommaText("a, \"b c\",\"d\"\"e\",,f");
  EXPECT_EQ(s.Count(), 5);
  EXPECT_EQ(s[1], "b c");
  EXPECT_EQ(s[2], "d\"e");
  EXPECT_EQ(s[3], "");
  EXPECT_EQ(s.GetCommaText(), "a,\"b c\",\"d\"\"e\",,f");
  s.SetText("Unit=cm\nDpi=300");
  EXPECT_EQ(s.Values("dpi"), "300");
  EXPECT_EQ(s.Names(0), "Unit");
  EXPECT_THROW(s.Get(9), EStringListError);

  TStringList copy;
  copy.Assign(&s);
  EXPECT_TRUE(copy.Equals(&s));
  EXPECT_THROW(pen.Assign(&s), EConvertError);
}

TEST(StringList, SortedDuplicatesAndChangeEvents) {
  TStringList s;
  int changes = 0;
  s.OnChange = [&](TObject*) { ++changes; };
  s.SetSorted(true);
  s.Add("pear");
  s.Add("Apple");
  s.Add("apple");  // dupIgnore
  EXPECT_EQ(s.Count(), 2);
  EXPECT_EQ(s[0], "Apple");
  EXPECT_EQ(changes, 2);
  s.SetDuplicates(dupError);
  EXPECT_EQ(MessageOf<EStringListError>([&] { s.Add("PEAR"); }), "String list does not allow duplicates");
  EXPECT_THROW(s.Insert(0, "x"), EStringListError);
  s.BeginUpdate();
  s.SetDuplicates(dupAccept);
  s.Add("fig");
  s.Add("fig");
  s.EndUpdate();
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(s.GetCommaText(), "Apple,fig,fig,pear");
}

TEST(Streams, MemoryStreamGrowsReadsAndRefusesShortReads) {
  TMemoryStream m;
  std::string big(100000, 'x');
  for (int i = 0; i < 10; ++i) m.WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
  EXPECT_EQ(m.GetSize(), 1000000);
  EXPECT_GE(m.Capacity(), m.GetSize());
  m.SetPosition(999998);
  char buf[4];
  EXPECT_EQ(m.Read(buf, 4), 2);
  m.SetPosition(999998);
  EXPECT_EQ(MessageOf<EReadError>([&] { m.ReadBuffer(buf, 4); }), "Stream read error");
  EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
  m.SetSize(10);
  EXPECT_EQ(m.GetPosition(), 10);
  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(&m, 0), 10);
  EXPECT_EQ(std::string(static_cast<char*>(copy.Memory()), 10), std::string(10, 'x'));
  m.Clear();
  EXPECT_EQ(m.GetSize(), 0);
}

TEST(Streams, FileStreamCreateOpenAndErrors) {
  auto dir = korven::test::MakeTempDir("vcl-streams");
  std::string file = (dir / "data.bin").string();
  {
    TFileStream f(file, fmCreate);
    f.WriteBuffer("hello", 5);
  }
  {
    TFileStream f(file, fmOpenReadWrite | fmShareDenyNone);
    EXPECT_EQ(f.GetSize(), 5);
    f.Seek(0, soEnd);
    f.WriteBuffer("!", 1);
  }
  TMemoryStream m;
  m.LoadFromFile(file);
  EXPECT_EQ(std::string(static_cast<char*>(m.Memory()), 6), "hello!");
  std::string missing = (dir / "missing.bin").string();
  EXPECT_EQ(MessageOf<EFOpenError>([&] { TFileStream f(missing, fmOpenRead); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_THROW(TFileStream((dir / "no" / "x").string(), fmCreate), EFCreateError);
  std::filesystem::remove_all(dir);
}

}  // namespace
