// The designer's interfaces on their own, with small classes of the test's: which registered editor
// wins, the ordinary editors' text round trips, the Object Inspector's rows, component editors,
// registration scopes and design packages that cannot be loaded.
#include <vcl/DesignIntf.h>

#include <filesystem>
#include <fstream>

#include "testsupport.h"

using namespace vcl;

namespace designtest {

enum TFlavour { flSweet, flSour, flBitter };
VCL_ENUM_INFO(TFlavour, flSweet, flSour, flBitter)
using TFlavours = Set<TFlavour>;

// A persistent sub-object, as TScanRange is to a scanner.
class TLimits : public TPersistent {
  VCL_CLASS(TLimits, TPersistent)
 public:
  static void DeclareProperties(TPropertyBuilder<TLimits>& p) {
    p.Property("Low", &TLimits::low, &TLimits::low);
    p.Property("Fixed", &TLimits::fixed, IgnoreValue).Default(false);
  }
  float low = 0;
  bool fixed = false;
};

class TStrictLimits : public TLimits {
  VCL_CLASS(TStrictLimits, TLimits)
 public:
  static void DeclareProperties(TPropertyBuilder<TStrictLimits>& p) {
    p.Property("Strict", &TStrictLimits::strict, &TStrictLimits::strict).Default(false);
  }
  bool strict = false;
};

// A root with a handler, as a form with code behind it.
class TBench : public TComponent {
  VCL_CLASS(TBench, TComponent)
 public:
  explicit TBench(TComponent* owner) : TComponent(owner) { DeclareHandler("GadgetPoke", &TBench::GadgetPoke); }
  void GadgetPoke(TObject*) { ++pokes; }
  int pokes = 0;
};

class TGadget : public TComponent {
  VCL_CLASS(TGadget, TComponent)
 public:
  explicit TGadget(TComponent* owner) : TComponent(owner) {}
  static void DeclareProperties(TPropertyBuilder<TGadget>& p) {
    p.Property("Count", &TGadget::count, &TGadget::count);
    p.Property("Size", &TGadget::size, &TGadget::size);
    p.Property("Ratio", &TGadget::ratio, &TGadget::ratio);
    p.Property("Label", &TGadget::label, &TGadget::label);
    p.Property("Enabled", &TGadget::enabled, &TGadget::enabled).Default(true);
    p.Property("Flavour", &TGadget::flavour, &TGadget::flavour).Default(flSweet);
    p.Property("Flavours", &TGadget::flavours, &TGadget::flavours).Default(TFlavours{});
    p.Property("Limits", &TGadget::GetLimits, nullptr);
    p.Property("Partner", &TGadget::partner, &TGadget::partner);
    p.Property("Hidden", [](TGadget& g) { return g.count; }, nullptr);  // read-only: not shown
    p.Property("OnPoke", &TGadget::onPoke, &TGadget::onPoke).TypeName("TNotifyEvent");
  }
  TLimits* GetLimits() { return &limits; }
  int32_t count = 0;
  uint32_t size = 0;
  float ratio = 0;
  std::string label;
  bool enabled = true;
  TFlavour flavour = flSweet;
  TFlavours flavours;
  TLimits limits;
  TBench* partner = nullptr;  // a reference to another component of the form
  TNotifyEvent onPoke;
};

class TSuperGadget : public TGadget {
  VCL_CLASS(TSuperGadget, TGadget)
 public:
  using TGadget::TGadget;
};

VCL_IMPLEMENT_CLASS(TLimits, TPersistent)
VCL_IMPLEMENT_CLASS(TStrictLimits, TLimits)
VCL_IMPLEMENT_CLASS(TGadget, TComponent)
VCL_IMPLEMENT_CLASS(TSuperGadget, TGadget)
VCL_IMPLEMENT_CLASS(TBench, TComponent)

// Editors that only mark which registration won.
#define MARKER_EDITOR(Name)                    \
  class Name : public TFloatProperty {          \
    VCL_CLASS(Name, TFloatProperty)             \
   public:                                      \
    using TFloatProperty::TFloatProperty;       \
  };                                            \
  VCL_IMPLEMENT_CLASS(Name, TFloatProperty)
MARKER_EDITOR(TEditorA)
MARKER_EDITOR(TEditorB)
MARKER_EDITOR(TEditorC)

class TTwoVerbs : public TComponentEditor {
  VCL_CLASS(TTwoVerbs, TComponentEditor)
 public:
  using TComponentEditor::TComponentEditor;
  int GetVerbCount() override { return 2; }
  std::string GetVerb(int i) override { return i == 0 ? "First" : i == 1 ? "Second" : ""; }
  void ExecuteVerb(int i) override { ran.push_back(i); }
  static inline std::vector<int> ran;
};
VCL_IMPLEMENT_CLASS(TTwoVerbs, TComponentEditor)

}  // namespace designtest

using namespace designtest;

namespace {

class DesignIntf : public korven::test::KorvenTest {
 protected:
  TRegistrationScope scope;  // whatever a test registers goes with it
  TBench root{nullptr};
  TFormDesigner designer{&root};
  TGadget* gadget = nullptr;

  void SetUp() override {
    KorvenTest::SetUp();
    root.SetName("Bench1");
    gadget = new TGadget(&root);
    gadget->SetName("Gadget1");
  }

  // The row of that path.
  TInspectorRow& Row(std::vector<TInspectorRow>& rows, const std::string& path) {
    for (auto& r : rows)
      if (r.Path == path) return r;
    ADD_FAILURE() << "no row " << path;
    static TInspectorRow none;
    return none;
  }
  std::string EditorOf(TPersistent* obj, const std::string& prop) {
    return FindPropertyEditor(obj, FindPropInfo(obj, prop))->Class->ClassName();
  }
};

// ---- Which registration wins --------------------------------------------------------------------

struct PrecedenceCase {
  const char* name;
  // Two registrations, each (type, class, property name); B is registered after A.
  TTypeInfo typeA;
  const TMetaClass* classA;
  const char* propA;
  TTypeInfo typeB;
  const TMetaClass* classB;
  const char* propB;
  bool onSuper;         // look at a TSuperGadget instead of a TGadget
  const char* property;
  const char* winner;   // "TEditorA", "TEditorB" or the ordinary editor's class
};

class Precedence : public DesignIntf, public ::testing::WithParamInterface<PrecedenceCase> {};

TEST_P(Precedence, TheMostSpecificRegistrationWins) {
  const PrecedenceCase& c = GetParam();
  RegisterPropertyEditor(c.typeA, c.classA, c.propA, PropertyEditorClass<TEditorA>());
  RegisterPropertyEditor(c.typeB, c.classB, c.propB, PropertyEditorClass<TEditorB>());
  TSuperGadget super(nullptr);
  TPersistent* obj = c.onSuper ? static_cast<TPersistent*>(&super) : gadget;
  EXPECT_EQ(EditorOf(obj, c.property), c.winner);
}

const TMetaClass* Gadget() { return &TGadget::StaticClass(); }
const TMetaClass* Super() { return &TSuperGadget::StaticClass(); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Precedence,
    ::testing::Values(
        PrecedenceCase{"ClassAndNameBeatTypeOnly", TypeInfo<float>(), Gadget(), "Ratio", TypeInfo<float>(), nullptr, "",
                       false, "Ratio", "TEditorA"},
        PrecedenceCase{"NameBeatsClassOnly", TypeInfo<float>(), nullptr, "Ratio", TypeInfo<float>(), Gadget(), "", false,
                       "Ratio", "TEditorA"},
        PrecedenceCase{"DerivedClassBeatsBase", TypeInfo<float>(), Super(), "Ratio", TypeInfo<float>(), Gadget(),
                       "Ratio", true, "Ratio", "TEditorA"},
        PrecedenceCase{"ARegistrationForTheDerivedClassLeavesTheBaseAlone", TypeInfo<float>(), Super(), "Ratio",
                       TypeInfo<float>(), Gadget(), "Ratio", false, "Ratio", "TEditorB"},
        PrecedenceCase{"LaterBeatsAnEqualEarlierOne", TypeInfo<float>(), Gadget(), "Ratio", TypeInfo<float>(), Gadget(),
                       "Ratio", false, "Ratio", "TEditorB"},
        PrecedenceCase{"NamesCompareWithoutCase", TypeInfo<float>(), nullptr, "", TypeInfo<float>(), nullptr, "RATIO",
                       false, "Ratio", "TEditorB"},
        PrecedenceCase{"AnotherNameDoesNotMatch", TypeInfo<float>(), nullptr, "Size", TypeInfo<float>(), nullptr,
                       "Count", false, "Ratio", "TFloatProperty"},
        PrecedenceCase{"AnotherTypeDoesNotMatch", TypeInfo<double>(), nullptr, "", TypeInfo<int32_t>(), nullptr, "",
                       false, "Ratio", "TFloatProperty"},
        PrecedenceCase{"AnotherClassDoesNotMatch", TypeInfo<float>(), Super(), "", TypeInfo<float>(), Super(), "",
                       false, "Ratio", "TFloatProperty"},
        PrecedenceCase{"ExactClassTypeBeatsItsBase", TypeInfo<TLimits*>(), nullptr, "", TypeInfo<TPersistent*>(),
                       nullptr, "", false, "Limits", "TEditorA"},
        PrecedenceCase{"ABaseClassTypeCoversDerivedClasses", TypeInfo<TPersistent*>(), nullptr, "", TypeInfo<float>(),
                       nullptr, "", false, "Limits", "TEditorA"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DesignIntf, UnregisteredPropertiesGetTheOrdinaryEditorOfTheirKind) {
  EXPECT_EQ(EditorOf(gadget, "Count"), "TIntegerProperty");
  EXPECT_EQ(EditorOf(gadget, "Size"), "TIntegerProperty");
  EXPECT_EQ(EditorOf(gadget, "Ratio"), "TFloatProperty");
  EXPECT_EQ(EditorOf(gadget, "Label"), "TStringProperty");
  EXPECT_EQ(EditorOf(gadget, "Enabled"), "TBoolProperty");
  EXPECT_EQ(EditorOf(gadget, "Flavour"), "TEnumProperty");
  EXPECT_EQ(EditorOf(gadget, "Flavours"), "TSetProperty");
  EXPECT_EQ(EditorOf(gadget, "Limits"), "TClassProperty");
  EXPECT_EQ(EditorOf(gadget, "Partner"), "TComponentProperty");
  EXPECT_EQ(EditorOf(gadget, "OnPoke"), "TMethodProperty");
}

TEST_F(DesignIntf, AScopeWithdrawsWhatWasRegisteredInsideIt) {
  size_t before = Registrations().size();
  {
    TRegistrationScope inner;
    RegisterPropertyEditor(TypeInfo<float>(), nullptr, "Ratio", PropertyEditorClass<TEditorC>());
    RegisterComponents("Gadgets", {&TSuperGadget::StaticClass()});
    inner.Stop();
    RegisterPropertyEditor(TypeInfo<float>(), nullptr, "Size", PropertyEditorClass<TEditorA>());  // the outer scope's
    EXPECT_EQ(EditorOf(gadget, "Ratio"), "TEditorC");
    EXPECT_EQ(GetClass("TSuperGadget"), &TSuperGadget::StaticClass());
    ASSERT_EQ(PalettePages().size(), 1u);
  }
  EXPECT_EQ(Registrations().size(), before + 1);
  EXPECT_EQ(EditorOf(gadget, "Ratio"), "TFloatProperty");
  EXPECT_EQ(GetClass("TSuperGadget"), nullptr);
  EXPECT_TRUE(PalettePages().empty());
}

TEST_F(DesignIntf, ThePaletteKeepsPagesAndClassesInRegistrationOrder) {
  RegisterComponents("Second", {&TSuperGadget::StaticClass()});
  RegisterComponents("First", {&TGadget::StaticClass(), &TBench::StaticClass()});
  RegisterComponents("second", {&TGadget::StaticClass()});  // the same page, named again
  auto pages = PalettePages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].Name, "Second");
  EXPECT_EQ(pages[0].Classes, (std::vector<const TMetaClass*>{&TSuperGadget::StaticClass(), &TGadget::StaticClass()}));
  EXPECT_EQ(pages[1].Classes, (std::vector<const TMetaClass*>{&TGadget::StaticClass(), &TBench::StaticClass()}));
  EXPECT_EQ(DescribeRegistration(Registrations().back()), "RegisterComponents('second', [TGadget])");
}

// ---- The ordinary editors -----------------------------------------------------------------------

struct RoundTrip {
  const char* name;
  const char* property;  // dotted path of the row
  const char* typed;
  const char* shown;     // the row's value afterwards; nullptr: the text is refused
  const char* error;     // part of the refusal's message
};

class EditorRoundTrip : public DesignIntf, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(EditorRoundTrip, TypedTextIsWrittenAndShownAgainOrRefusedWithNothingWritten) {
  const RoundTrip& c = GetParam();
  gadget->partner = &root;
  auto rows = InspectorRows(gadget, &designer);
  TInspectorRow& row = Row(rows, c.property);
  ASSERT_TRUE(row.Editor);
  std::string before = ComponentToText(gadget);
  if (c.shown) {
    row.Editor->SetValue(c.typed);
    EXPECT_EQ(row.Editor->GetValue(), c.shown);
    EXPECT_EQ(designer.ModifiedCount(), 1);
  } else {
    try {
      row.Editor->SetValue(c.typed);
      ADD_FAILURE() << "accepted " << c.typed;
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ComponentToText(gadget), before);
    EXPECT_FALSE(designer.IsModified());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditorRoundTrip,
    ::testing::Values(
        RoundTrip{"Integer", "Count", " -42 ", "-42", nullptr},
        RoundTrip{"IntegerHex", "Count", "$10", "16", nullptr},
        RoundTrip{"IntegerNotANumber", "Count", "12a", nullptr, "not a valid integer"},
        RoundTrip{"IntegerTooLarge", "Count", "2147483648", nullptr, "between -2147483648 and 2147483647"},
        RoundTrip{"CardinalTakesFullRange", "Size", "4294967295", "4294967295", nullptr},
        RoundTrip{"CardinalNotNegative", "Size", "-1", nullptr, "between 0 and 4294967295"},
        RoundTrip{"SingleShowsItsOwnPrecision", "Ratio", "2.2", "2.2", nullptr},
        RoundTrip{"SingleSmall", "Ratio", "0.01", "0.01", nullptr},
        RoundTrip{"FloatNotANumber", "Ratio", "1,5", nullptr, "not a valid floating point value"},
        RoundTrip{"String", "Label", "it's", "it's", nullptr},
        RoundTrip{"Boolean", "Enabled", "false", "False", nullptr},
        RoundTrip{"BooleanAsNumber", "Enabled", "1", "True", nullptr},
        RoundTrip{"BooleanNonsense", "Enabled", "maybe", nullptr, "Invalid property value"},
        RoundTrip{"Enumeration", "Flavour", "FLBITTER", "flBitter", nullptr},
        RoundTrip{"EnumerationUnknown", "Flavour", "flSalty", nullptr, "Invalid property value"},
        RoundTrip{"SetElement", "Flavours.flSour", "True", "True", nullptr},
        RoundTrip{"SetElementNonsense", "Flavours.flSour", "yes", nullptr, "Invalid property value"},
        RoundTrip{"SubObjectProperty", "Limits.Low", "-1.5", "-1.5", nullptr},
        RoundTrip{"ComponentReferenceCleared", "Partner", "", "", nullptr},
        RoundTrip{"ComponentReference", "Partner", "bench1", "Bench1", nullptr},
        RoundTrip{"ComponentReferenceOfTheWrongClass", "Partner", "Gadget1", nullptr, "Invalid property value"},
        RoundTrip{"ComponentReferenceUnknown", "Partner", "Gadget9", nullptr, "Invalid property value"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DesignIntf, TheInspectorListsRowsByNameWithSubPropertiesBelowSetMembersInOrderAndNoReadOnlyValues) {
  gadget->flavours = {flSour};
  auto rows = InspectorRows(gadget, &designer);
  std::vector<std::string> paths;
  for (auto& r : rows) paths.push_back(r.Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"Count", "Enabled", "Flavour", "Flavours", "Flavours.flSweet",
                                             "Flavours.flSour", "Flavours.flBitter", "Label", "Limits", "Limits.Fixed",
                                             "Limits.Low", "Name", "Partner", "Ratio", "Size", "Tag"}));
  EXPECT_EQ(Row(rows, "Flavours").Value, "[flSour]");
  EXPECT_EQ(Row(rows, "Flavours.flSour").Value, "True");
  EXPECT_EQ(Row(rows, "Limits").Value, "(TLimits)");
  EXPECT_EQ(AttributesText(Row(rows, "Limits").Attributes), "read-only, sub-properties, multi-select");
  EXPECT_EQ(AttributesText(Row(rows, "Flavour").Attributes), "value-list, multi-select, sort-list, revertable");
  EXPECT_EQ(Row(rows, "Limits.Low").Depth, 1);

  auto events = InspectorRows(gadget, &designer, true);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Path, "OnPoke");
}

TEST_F(DesignIntf, AnEventIsBoundToTheRootsHandlerOrKeptByNameAtDesignTime) {
  auto rows = InspectorRows(gadget, &designer, true);
  TPropertyEditor& onPoke = *Row(rows, "OnPoke").Editor;
  std::vector<std::string> offered;
  onPoke.GetValues([&](const std::string& s) { offered.push_back(s); });
  EXPECT_EQ(offered, (std::vector<std::string>{"GadgetPoke"}));

  onPoke.SetValue("GadgetPoke");
  ASSERT_TRUE(gadget->onPoke);
  gadget->onPoke(gadget);
  EXPECT_EQ(root.pokes, 1);
  EXPECT_EQ(onPoke.GetValue(), "GadgetPoke");

  onPoke.SetValue("GadgetPokeLater");  // no code yet: only the name
  EXPECT_FALSE(gadget->onPoke);
  EXPECT_EQ(onPoke.GetValue(), "GadgetPokeLater");
  EXPECT_THROW(onPoke.SetValue("1st"), EPropertyError);
  onPoke.SetValue("");
  EXPECT_EQ(onPoke.GetValue(), "");
  EXPECT_EQ(designer.ModifiedCount(), 3);
}

TEST_F(DesignIntf, AMultipleSelectionShowsAValueOnlyWhereAllAgreeAndWritesAll) {
  TGadget other(&root);
  other.SetName("Gadget2");
  gadget->count = 1;
  other.count = 2;
  gadget->label = other.label = "same";
  std::vector<std::unique_ptr<TPropertyEditor>> editors;
  GetComponentProperties({gadget, &other}, &designer, [&](auto e) { editors.push_back(std::move(e)); });
  auto find = [&](const char* n) -> TPropertyEditor& {
    for (auto& e : editors)
      if (e->GetName() == n) return *e;
    throw std::runtime_error(n);
  };
  EXPECT_EQ(find("Count").GetVisualValue(), "");
  EXPECT_EQ(find("Label").GetVisualValue(), "same");
  find("Count").SetValue("7");
  EXPECT_EQ(gadget->count, 7);
  EXPECT_EQ(other.count, 7);
  EXPECT_EQ(find("Count").GetVisualValue(), "7");
}

// ---- Component editors --------------------------------------------------------------------------

TEST_F(DesignIntf, EditRunsVerbZeroOnlyWhenThereIsAVerbAndTheMostDerivedRegistrationWins) {
  auto plain = GetComponentEditor(gadget, &designer);
  EXPECT_EQ(plain->ClassName(), "TComponentEditor");
  EXPECT_EQ(plain->GetVerbCount(), 0);
  plain->Edit();  // nothing to run

  RegisterComponentEditor(TComponent::StaticClass(), ComponentEditorClass<TComponentEditor>());
  RegisterComponentEditor(TGadget::StaticClass(), ComponentEditorClass<TTwoVerbs>());
  RegisterComponentEditor(TComponent::StaticClass(), ComponentEditorClass<TComponentEditor>());  // later, but a base
  auto editor = GetComponentEditor(gadget, &designer);
  ASSERT_EQ(editor->ClassName(), "TTwoVerbs");
  EXPECT_EQ(editor->Component(), gadget);
  EXPECT_EQ(editor->Designer(), &designer);
  TTwoVerbs::ran.clear();
  editor->Edit();
  EXPECT_EQ(TTwoVerbs::ran, (std::vector<int>{0}));
  EXPECT_EQ(GetComponentEditor(&root, &designer)->ClassName(), "TComponentEditor");
}

// ---- Packages -----------------------------------------------------------------------------------

TEST_F(DesignIntf, APackageThatCannotBeLoadedIsRefusedWithTheFileAndTheReason) {
  auto dir = korven::test::MakeTempDir("designintf");
  std::string missing = (dir / "nothing.so").string();
  std::string text = (dir / "text.so").string();
  std::ofstream(text) << "not a shared object";
  auto message = [](const std::string& file) {
    try {
      TDesignPackage package(file);
    } catch (const EPackageError& e) {
      return e.Message();
    }
    return std::string("loaded");
  };
  EXPECT_EQ(message(missing), "Cannot load package " + missing + ": no such file");
  EXPECT_NE(message(text).find("Cannot load package " + text + ": "), std::string::npos);
  // The loader's image check names what is wrong with the file.
  EXPECT_NE(message(text).find("too short for an ELF header (19 bytes)"), std::string::npos)
      << message(text);
  // A shared object without the entry: the platform library itself.
  std::string noEntry = KORVEN_PLATFORM_LIBRARY;
  EXPECT_EQ(message(noEntry), "Cannot load package " + noEntry + ": it has no entry KorvenDesignRegister");
  std::filesystem::remove_all(dir);
}

}  // namespace
