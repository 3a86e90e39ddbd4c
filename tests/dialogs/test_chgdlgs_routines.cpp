// The filter routines of the extension-changing dialogs, as tables, under UTF-8 and Shift-JIS.
#include <korven/ChgDlgs.h>
#include <korven/platform.h>

#include <climits>

#include "testsupport.h"

using korven::ApplyFilterExt;
using korven::GetFilterExt;
using korven::GetFilterMask;
using korven::SelectFilterIndex;
using korven::SplitFilter;
using korven::test::CaseName;

namespace {

const std::string kFilter = "Bitmap (*.bmp)|*.bmp|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg";

// Runs a test body under code page 932 and always comes back to UTF-8.
class ShiftJis : public korven::test::KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    ASSERT_TRUE(korven::platform::SetACP(932));
  }
  void TearDown() override {
    korven::platform::SetACP(CP_UTF8);
    KorvenTest::TearDown();
  }
};

using korven::platform::PathRules;
constexpr PathRules kPosix = PathRules::Posix;
constexpr PathRules kWindows = PathRules::Windows;

// Selects path rules for a scope and restores the previous ones.
class ScopedPathRules {
 public:
  explicit ScopedPathRules(PathRules rules) : previous_(korven::platform::SetPathRules(rules)) {}
  ~ScopedPathRules() { korven::platform::SetPathRules(previous_); }
  ScopedPathRules(const ScopedPathRules&) = delete;
  ScopedPathRules& operator=(const ScopedPathRules&) = delete;

 private:
  PathRules previous_;
};

std::vector<std::string> Split(const std::string& filter) {
  vcl::TStringList list;
  list.Add("left over");
  SplitFilter(&list, filter);
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

// ---- SplitFilter --------------------------------------------------------------------------------

struct SplitCase {
  std::string filter;
  std::vector<std::string> items;
};

class SplitFilterTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFilterTable, SplitsAtEachBar) { EXPECT_EQ(Split(GetParam().filter), GetParam().items); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitFilterTable,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"A|*.a", {"A", "*.a"}},
                      SplitCase{"A|*.a|", {"A", "*.a"}},                  // a bar at the end adds nothing
                      SplitCase{"A||*.a", {"A", "", "*.a"}},              // adjacent bars give an empty item
                      SplitCase{"|*.a", {"", "*.a"}}, SplitCase{"|", {""}},
                      SplitCase{"A|*.a|B", {"A", "*.a", "B"}},            // a description without masks
                      SplitCase{kFilter, {"Bitmap (*.bmp)", "*.bmp", "JPEG (*.jpg;*.jpeg)", "*.jpg;*.jpeg"}}),
    [](const auto& info) { return CaseName(info.index, info.param.filter); });

// ---- GetFilterMask ------------------------------------------------------------------------------

struct MaskCase {
  int n;
  std::string filter;
  std::string mask;
};

class GetFilterMaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(GetFilterMaskTable, GivesTheNthMaskList) {
  EXPECT_EQ(GetFilterMask(GetParam().n, GetParam().filter), GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(Cases, GetFilterMaskTable,
                         ::testing::Values(MaskCase{1, kFilter, "*.bmp"}, MaskCase{2, kFilter, "*.jpg;*.jpeg"},
                                           MaskCase{0, kFilter, ""}, MaskCase{-1, kFilter, ""},
                                           MaskCase{3, kFilter, ""}, MaskCase{INT_MAX, kFilter, ""},
                                           MaskCase{INT_MIN, kFilter, ""}, MaskCase{2, "A|*.a|B", ""},
                                           MaskCase{1, "", ""}, MaskCase{2, "A||B|*.b", "*.b"}),
                         [](const auto& info) {
                           std::string text = std::to_string(info.param.n);
                           text += ' ';
                           text += info.param.filter;
                           return CaseName(info.index, "n" + text);
                         });

// ---- GetFilterExt -------------------------------------------------------------------------------

struct ExtCase {
  std::string masks;
  std::string ext;
  PathRules rules = kPosix;
};

class GetFilterExtTable : public ::testing::TestWithParam<ExtCase> {};

TEST_P(GetFilterExtTable, GivesTheFirstMasksExtension) {
  ScopedPathRules rules(GetParam().rules);
  EXPECT_EQ(GetFilterExt(1, "Files|" + GetParam().masks), GetParam().ext);
}

INSTANTIATE_TEST_SUITE_P(Cases, GetFilterExtTable,
                         ::testing::Values(ExtCase{"*.bmp;*.dib", ".bmp"}, ExtCase{"*.tar.gz", ".gz"},
                                           ExtCase{"*", ""}, ExtCase{"", ""}, ExtCase{"*.BMP", ".BMP"},
                                           ExtCase{"*.*", ".*"},  // reported; ApplyFilterExt will not use it
                                           ExtCase{";*.bmp", ""}, ExtCase{"scan.", "."},
                                           ExtCase{"C:\\x.y\\*", "", kWindows}, ExtCase{"C:x.y:*", "", kWindows},
                                           ExtCase{"/x.y/*", ""}, ExtCase{"/x.y/*", "", kWindows},
                                           ExtCase{"a.b\\c.d", ".d"}, ExtCase{"a.b\\c.d", ".d", kWindows},
                                           // On POSIX '\\' and ':' are parts of a name.
                                           ExtCase{"C:\\x.y\\*", ".y\\*"}, ExtCase{"C:x.y:*", ".y:*"}),
                         [](const auto& info) {
                           return CaseName(info.index, (info.param.rules == kWindows ? "windows " : "") + info.param.masks);
                         });

TEST(GetFilterExt, OutsideTheFiltersIsEmpty) {
  EXPECT_EQ(GetFilterExt(0, kFilter), "");
  EXPECT_EQ(GetFilterExt(3, kFilter), "");
  EXPECT_EQ(GetFilterExt(2, kFilter), ".jpg");
}

// ---- ApplyFilterExt (dialog closed) -------------------------------------------------------------

struct ApplyCase {
  std::string name;
  std::string filter;
  int index;
  bool nameOnly;
  std::string result;
  PathRules rules = kPosix;
};

class ApplyFilterExtTable : public korven::test::KorvenTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(ApplyFilterExtTable, RewritesTheName) {
  const ApplyCase& c = GetParam();
  ScopedPathRules rules(c.rules);
  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFileName(c.name);
  dialog.SetFilter(c.filter);
  dialog.SetFilterIndex(c.index);
  EXPECT_EQ(ApplyFilterExt(&dialog, c.nameOnly), c.result);
  EXPECT_EQ(dialog.GetFileName(), c.name);  // only computes
}

const std::string kAll = "All files (*.*)|*.*|Pictures|*.jp?;*.bmp|Bitmap|*.BMP";

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyFilterExtTable,
    ::testing::Values(
        ApplyCase{"report", kFilter, 1, false, "report.bmp"},          // no extension: appended
        ApplyCase{"C:\\tmp\\a.txt", kFilter, 1, false, "C:\\tmp\\a.bmp", kWindows},
        ApplyCase{"C:\\tmp\\a.txt", kFilter, 1, true, "a.bmp", kWindows},
        ApplyCase{"C:a.txt", kFilter, 1, true, "a.bmp", kWindows},
        ApplyCase{"a:b.jpeg", kFilter, 1, true, "b.bmp", kWindows},
        // On POSIX only '/' separates: the whole typed name stays a name.
        ApplyCase{"a:b.jpeg", kFilter, 1, true, "a:b.bmp"},
        ApplyCase{"C:\\tmp\\a.txt", kFilter, 1, true, "C:\\tmp\\a.bmp"},
        ApplyCase{"x\\y.z\\report", kFilter, 1, true, "x\\y.bmp"},
        ApplyCase{"/home/u.v/report", kFilter, 1, true, "report.bmp", kWindows},
        ApplyCase{"/home/u.v/report", kFilter, 1, false, "/home/u.v/report.bmp"},  // the folder's dot is not it
        ApplyCase{"/home/u.v/report", kFilter, 1, true, "report.bmp"},
        ApplyCase{"photo.jpeg", kFilter, 2, false, "photo.jpg"},       // the first mask counts
        ApplyCase{"archive.tar.gz", kFilter, 1, false, "archive.tar.bmp"},
        ApplyCase{"name.", kFilter, 1, false, "name."},                 // a bare dot is never changed
        ApplyCase{"/x/name.", kFilter, 1, true, "/x/name."},             // ... not even cut to the name
        ApplyCase{"photo.jpeg", kFilter, 0, false, "photo.jpeg"},       // index outside: unchanged
        ApplyCase{"photo.jpeg", kFilter, 3, false, "photo.jpeg"},
        ApplyCase{"/x/photo.jpeg", kFilter, 3, true, "photo.jpeg"},
        ApplyCase{"photo.jpeg", "", 1, false, "photo.jpeg"},
        ApplyCase{"a.txt", kAll, 1, false, "a.txt"},                    // '*.*' keeps the extension
        ApplyCase{"a.txt", kAll, 2, false, "a.txt"},                    // so does '*.jp?'
        ApplyCase{"a.txt", kAll, 3, false, "a.BMP"},                    // the mask as written
        ApplyCase{"", kFilter, 1, false, ""},                           // nothing to name
        ApplyCase{"/tmp/", kFilter, 1, false, "/tmp/"}),
    [](const auto& info) {
      const ApplyCase& c = info.param;
      return CaseName(info.index, c.name + " index" + std::to_string(c.index) + (c.nameOnly ? " name only" : "") +
                                      (c.rules == kWindows ? " windows" : ""));
    });

// ---- SelectFilterIndex --------------------------------------------------------------------------

struct SelectCase {
  std::string name;
  std::string filter;
  int before;
  int after;
};

class SelectFilterIndexTable : public korven::test::KorvenTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectFilterIndexTable, PreselectsByExtension) {
  const SelectCase& c = GetParam();
  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFileName(c.name);
  dialog.SetFilter(c.filter);
  dialog.SetFilterIndex(c.before);
  SelectFilterIndex(&dialog);
  EXPECT_EQ(dialog.GetFilterIndex(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectFilterIndexTable,
    ::testing::Values(SelectCase{"photo.jpeg", kFilter, 1, 2}, SelectCase{"scan.jp", kFilter, 1, 2},  // substring
                      SelectCase{"PHOTO.JPG", kFilter, 1, 2}, SelectCase{"x.Bmp", kFilter, 2, 1},     // case
                      SelectCase{"noext", kFilter, 2, 2}, SelectCase{"x.png", kFilter, 2, 2},
                      SelectCase{"dir.jpg/file", kFilter, 1, 1},          // the folder's extension is not it
                      SelectCase{"a.jpeg", "x.jpeg|*.bmp|J|*.jpeg", 1, 2},  // descriptions are not searched
                      SelectCase{"a.bmp", "", 4, 4}, SelectCase{"a.bmp", "Odd|", 3, 3},
                      SelectCase{"a.", kFilter, 2, 1}),  // a bare dot is in every mask with a dot
    [](const auto& info) { return CaseName(info.index, info.param.name); });

// ---- Shift-JIS ----------------------------------------------------------------------------------

// "ポ" is 0x83 0x7C in Shift-JIS (its second byte is '|'), "表" is 0x95 0x5C (its second byte is '\').
const std::string kPo = "\x83\x7C";
const std::string kHyo = "\x95\x5C";

TEST_F(ShiftJis, SecondBytesAreNeverSeparators) {
  ScopedPathRules rules(kWindows);  // where '\\' separates, a second byte 0x5C must not
  const std::string poster = korven::platform::FromUtf8("ポスター");
  ASSERT_EQ(poster.substr(0, 2), kPo);
  const std::string filter = poster + "|*.bmp|" + kHyo + "|*.jpg";
  EXPECT_EQ(Split(filter), (std::vector<std::string>{poster, "*.bmp", kHyo, "*.jpg"}));
  EXPECT_EQ(GetFilterMask(2, filter), "*.jpg");
  EXPECT_EQ(GetFilterExt(1, "A|*." + kHyo + ";*.x"), "." + kHyo);

  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFilter(filter);
  dialog.SetFileName("C:\\" + kHyo + "\\" + kHyo + ".jpg");
  dialog.SetFilterIndex(1);
  SelectFilterIndex(&dialog);
  EXPECT_EQ(dialog.GetFilterIndex(), 2);
  dialog.SetFilterIndex(1);
  EXPECT_EQ(ApplyFilterExt(&dialog, false), "C:\\" + kHyo + "\\" + kHyo + ".bmp");
  EXPECT_EQ(ApplyFilterExt(&dialog, true), kHyo + ".bmp");
}

TEST_F(ShiftJis, PosixNamesKeepTheirBackslashes) {
  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.SetFileName("/scans/" + kHyo + "\\" + kHyo + ".jpg");
  dialog.SetFilterIndex(1);
  EXPECT_EQ(ApplyFilterExt(&dialog, true), kHyo + "\\" + kHyo + ".bmp");
}

TEST(Utf8, ByteWiseSplitWouldDifferUnderShiftJis) {
  // The same bytes under UTF-8: 0x83 is no lead byte there, so the '|' separates. This shows the
  // Shift-JIS test above tests something.
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
  EXPECT_EQ(Split(kPo + "X|*.bmp").size(), 3u);
}

}  // namespace
