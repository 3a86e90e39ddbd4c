// Save dialogs that keep the file name's extension in step with the chosen file type.
//
// TSaveExtDialog (a vcl::TSaveDialog) and TSavePictureExtDialog (a vcl::TSavePictureDialog) are
// used exactly like the framework's dialogs (Filter, FilterIndex, FileName, Options, Execute):
//  - before the dialog opens, the file type whose masks contain the extension of FileName is
//    preselected (SelectFilterIndex);
//  - while it is open, each file type the user picks gives the name in the file-name box the
//    extension of that type's first mask (the box shows the bare name);
//  - when it closes with a chosen file, FileName gets the extension of the chosen type.
//
// Texts are byte strings in the active ANSI code page. Every search for '|', '\', '/', ':' and the
// last '.' steps over whole characters (CharNextA), so the second byte of a Shift-JIS character is
// never taken for a separator. '/' counts as a folder separator beside '\' and ':' because the
// platform's paths use it.
//
// Wildcard extensions: a type whose first mask has '*' or '?' in its extension ('*.*', '*.jp?')
// leaves the name's extension as it is; GetFilterExt itself still reports such an extension ('.*').
#ifndef KORVEN_CHGDLGS_H
#define KORVEN_CHGDLGS_H

#include <vcl/Classes.h>
#include <vcl/FileDialogs.h>

#include <string>

namespace korven {

// Empties List, then appends the filter's items split at each '|': descriptions at 0, 2, 4, ...,
// mask lists at 1, 3, 5, .... A '|' at the very end adds no empty item; two adjacent ones inside
// give an empty item. List must not be nullptr.
void SplitFilter(vcl::TStrings* List, const std::string& Filter);

// The mask list of the N-th filter (N from 1): item 2N - 1 of SplitFilter; "" when there is none.
std::string GetFilterMask(int N, const std::string& Filter);

// The extension, dot included, of the first mask (up to the first ';') of the N-th filter: from
// the last '.' after the last '\', '/' or ':' to the end. '*.bmp;*.dib' gives '.bmp', '*.tar.gz'
// '.gz', '*.*' '.*', '*' and '' give "".
std::string GetFilterExt(int N, const std::string& Filter);

// The dialog's FileName with the extension of its FilterIndex's type, and only the file name part
// when NameOnly. A name ending in a bare '.' is returned unchanged and nothing else happens. An
// empty or wildcard extension (see above), and a name with no file name part (empty, or a folder
// ending in a separator), leave the name as it is. While the dialog is open, the result is also put
// into its file-name box (CDM_SETCONTROLTEXT for edt1 to the parent of its Handle), unchanged
// names included. Never raises.
std::string ApplyFilterExt(vcl::TOpenDialog* Dialog, bool NameOnly);

// Sets the dialog's FilterIndex to the first filter whose mask list contains, ignoring ASCII case,
// the extension of its FileName (a substring test on bytes: 'scan.jp' matches '*.jpg'). An empty
// extension never matches; without a match FilterIndex keeps its value.
void SelectFilterIndex(vcl::TOpenDialog* Dialog);

// The save dialog that changes the extension with the file type. No properties of its own.
class TSaveExtDialog : public vcl::TSaveDialog {
  VCL_CLASS(TSaveExtDialog, vcl::TSaveDialog)
 public:
  explicit TSaveExtDialog(vcl::TComponent* AOwner);
  // SelectFilterIndex, then the framework's Execute; on true FileName := ApplyFilterExt(this, false).
  bool Execute() override;

 protected:
  // Rewrites the name box with the new type's extension (bare name), then raises OnTypeChange.
  void DoTypeChange() override;
  // Gives the name in the box its type's extension before the framework checks it, so that the
  // overwrite prompt asks about the file that will really be written; then OnCanClose.
  bool DoCanClose() override;
};

// The same for the save dialog with picture preview.
class TSavePictureExtDialog : public vcl::TSavePictureDialog {
  VCL_CLASS(TSavePictureExtDialog, vcl::TSavePictureDialog)
 public:
  explicit TSavePictureExtDialog(vcl::TComponent* AOwner);
  bool Execute() override;

 protected:
  void DoTypeChange() override;
  bool DoCanClose() override;
};

}  // namespace korven

#endif
